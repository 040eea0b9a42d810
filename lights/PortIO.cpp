#include "lights/PortIO.h"

#include "win32/Files.h"
#include "win32/Modules.h"
#include "win32/Services.h"

namespace {

const char* const kLibraryName = "DLPortIO.dll";
const char* const kServiceName = "DLPortIO";
const char* const kDisplayName = "DriverLINX Port I/O Driver";
const char* const kLoadOrderGroup = "SST miniport drivers";
const char* const kDriverExtension = ".SYS";
const char* const kDriverFolderSuffix = "\\DRIVERS";

const char* const kEntryPointNames[] = {
#define DLPORTIO_NAME(Name, Type) #Name,
    DLPORTIO_ENTRY_POINTS(DLPORTIO_NAME)
#undef DLPORTIO_NAME
};

// Connect, create service, enumerate service, query lock status; without create service
// for a user who may not install drivers.
constexpr DWORD kManagerAccess = 0x17;
constexpr DWORD kReducedManagerAccess = 0x15;
// DELETE, SERVICE_STOP, SERVICE_START, SERVICE_QUERY_STATUS.
constexpr DWORD kCreateAccess = 0x10034;
constexpr DWORD kStopAccess = SERVICE_STOP | SERVICE_QUERY_STATUS;
// Neither running nor stopped: a start or stop is still pending.
constexpr DWORD kPendingCode = 0xFFFFFFFFu;

}  // namespace

TDLPortIO::TDLPortIO(TComponent* AOwner) : TComponent(AOwner) {
  OSVERSIONINFOA Version{};
  Version.dwOSVersionInfoSize = sizeof Version;
  static_assert(sizeof Version == 148);
  RunningWinNT = GetVersionExA(&Version) && Version.dwPlatformId == VER_PLATFORM_WIN32_NT;

  char Buffer[MAX_PATH];
  const UINT Length = GetSystemDirectoryA(Buffer, MAX_PATH);
  // A length of MAX_PATH or more is the size the directory would need: nothing was copied.
  FDriverPath = String(Buffer, Length < MAX_PATH ? Length : 0) + kDriverFolderSuffix;
}

TDLPortIO::~TDLPortIO() {
  if (FActiveHW) CloseDriver();
}

void TDLPortIO::SetStepError(const char* Prefix, DWORD Code) {
  FLastError = String(Prefix) + IntToStr(Int64(Code));
}

Boolean TDLPortIO::ConnectSCM() {
  hSCMan = OpenSCManagerA(nullptr, nullptr, kManagerAccess);
  if (!hSCMan && GetLastError() == ERROR_ACCESS_DENIED)
    hSCMan = OpenSCManagerA(nullptr, nullptr, kReducedManagerAccess);
  if (!hSCMan) {
    SetStepError("ConnectSCM: Error #", GetLastError());
    return false;
  }
  return true;
}

void TDLPortIO::DisconnectSCM() {
  if (hSCMan) {
    CloseServiceHandle(hSCMan);
    hSCMan = nullptr;
  }
}

Boolean TDLPortIO::DriverInstall() {
  DriverWasInstalled = false;
  if (SC_HANDLE Service = OpenServiceA(hSCMan, kServiceName, SERVICE_QUERY_STATUS)) {
    DriverWasInstalled = true;
    CloseServiceHandle(Service);
    return true;
  }
  const String DriverFile = FDriverPath + "\\" + kServiceName + kDriverExtension;
  SC_HANDLE Service =
      CreateServiceA(hSCMan, kServiceName, kDisplayName, kCreateAccess, SERVICE_KERNEL_DRIVER,
                     SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL, DriverFile.c_str(),
                     kLoadOrderGroup, nullptr, nullptr, nullptr, nullptr);
  if (!Service) {
    SetStepError("DriverInstall: Error #", GetLastError());
    return false;
  }
  CloseServiceHandle(Service);
  return true;
}

Boolean TDLPortIO::DriverStart() {
  DriverWasRunning = false;
  DWORD Code = ERROR_SUCCESS;
  SC_HANDLE Service = OpenServiceA(hSCMan, kServiceName, SERVICE_QUERY_STATUS);
  SERVICE_STATUS Status{};
  if (Service && QueryServiceStatus(Service, &Status)) {
    if (Status.dwCurrentState == SERVICE_RUNNING) {
      DriverWasRunning = true;
    } else if (Status.dwCurrentState == SERVICE_STOPPED) {
      if (SC_HANDLE Starter = OpenServiceA(hSCMan, kServiceName, SERVICE_START)) {
        if (!StartServiceA(Starter, 0, nullptr)) Code = GetLastError();
        CloseServiceHandle(Starter);
      } else {
        Code = GetLastError();
      }
    } else {
      Code = kPendingCode;
    }
  } else {
    Code = GetLastError();
  }
  if (Service) CloseServiceHandle(Service);
  if (Code != ERROR_SUCCESS) {
    SetStepError("DriverStart: Error #", Code);
    return false;
  }
  return true;
}

Boolean TDLPortIO::DriverStop() {
  if (DriverWasRunning) return true;
  SC_HANDLE Service = OpenServiceA(hSCMan, kServiceName, kStopAccess);
  if (!Service) {
    SetStepError("DriverStop: Error #", GetLastError());
    return false;
  }
  SERVICE_STATUS Status{};
  const bool Stopped = ControlService(Service, SERVICE_CONTROL_STOP, &Status);
  const DWORD Code = GetLastError();
  CloseServiceHandle(Service);
  if (!Stopped) {
    SetStepError("DriverStop: Error #", Code);
    return false;
  }
  return true;
}

Boolean TDLPortIO::DriverRemove() {
  if (DriverWasInstalled) return true;
  SC_HANDLE Service = OpenServiceA(hSCMan, kServiceName, DELETE);
  if (!Service) {
    SetStepError("DriverRemove: Error #", GetLastError());
    return false;
  }
  const bool Deleted = DeleteService(Service);
  const DWORD Code = GetLastError();
  CloseServiceHandle(Service);
  if (!Deleted) {
    SetStepError("DriverRemove: Error #", Code);
    return false;
  }
  return true;
}

void TDLPortIO::OpenDriver() {
  if (FActiveHW) return;
  if (RunningWinNT) {
    if (!ConnectSCM()) return;
    if (!DriverInstall()) {
      DisconnectSCM();
      return;
    }
    if (!DriverStart()) {
      DriverRemove();
      DisconnectSCM();
      return;
    }
  }

  // The folder is taken as given: a trailing backslash still gets one more.
  const String Library = FDLLPath.empty() ? String(kLibraryName) : FDLLPath + "\\" + kLibraryName;
  hDLL = LoadLibraryA(Library.c_str());
  if (hDLL) {
    bool All = true;
    for (int i = 0; i < epCount; ++i) {
      EntryPoints[i] = GetProcAddress(hDLL, kEntryPointNames[i]);
      All = All && EntryPoints[i] != nullptr;
    }
    FActiveHW = All;
  }

  if (!FActiveHW) {
    if (RunningWinNT) {
      DriverStop();
      DriverRemove();
      DisconnectSCM();
    }
    if (hDLL) {
      FreeLibrary(hDLL);
      hDLL = nullptr;
    }
    for (FARPROC& Entry : EntryPoints) Entry = nullptr;
  }
}

void TDLPortIO::CloseDriver() {
  if (!FActiveHW) return;
  if (RunningWinNT) {
    // A driver that will not stop or go away keeps the library bound, so the port stays
    // usable and a later close can try again.
    if (!DriverStop()) return;
    if (!DriverRemove()) return;
    DisconnectSCM();
  }
  if (FreeLibrary(hDLL)) {
    hDLL = nullptr;
    FActiveHW = false;
    for (FARPROC& Entry : EntryPoints) Entry = nullptr;
  }
}

void TDLPortIO::WritePort(Word Port, Byte Value) {
  if (!FActiveHW) return;
  reinterpret_cast<TDlPortWritePortUchar*>(EntryPoints[epDlPortWritePortUchar])(Port, Value);
}
