// TDLPortIO: byte access to the parallel port through the DriverLINX port I/O library
// "DLPortIO.dll", bound at run time. On NT-family platforms its kernel driver must run as
// the service "DLPortIO" first: the component installs and starts it when needed, and at
// the end stops and removes it again only when it was the one that installed or started
// it, so a driver that was there before is left as it was found.
//
// Nothing here raises: a failed service step leaves its text in LastError, a missing or
// incomplete library leaves ActiveHW false, and port writes are then skipped.
#pragma once

#include "classlib/Classes.h"
#include "win32/Types.h"

// The library's entry points, looked up by name in this order; all twelve must be there.
// One list makes both the pointer table and the lookup loop, so they cannot disagree.
#define DLPORTIO_ENTRY_POINTS(X)                                    \
  X(DlPortReadPortUchar, Byte(Cardinal))                            \
  X(DlPortReadPortUshort, Word(Cardinal))                           \
  X(DlPortReadPortUlong, Cardinal(Cardinal))                        \
  X(DlPortWritePortUchar, void(Cardinal, Byte))                     \
  X(DlPortWritePortUshort, void(Cardinal, Word))                    \
  X(DlPortWritePortUlong, void(Cardinal, Cardinal))                 \
  X(DlPortReadPortBufferUchar, void(Cardinal, Byte*, Cardinal))     \
  X(DlPortReadPortBufferUshort, void(Cardinal, Word*, Cardinal))    \
  X(DlPortReadPortBufferUlong, void(Cardinal, Cardinal*, Cardinal)) \
  X(DlPortWritePortBufferUchar, void(Cardinal, Byte*, Cardinal))    \
  X(DlPortWritePortBufferUshort, void(Cardinal, Word*, Cardinal))   \
  X(DlPortWritePortBufferUlong, void(Cardinal, Cardinal*, Cardinal))

class TDLPortIO : public TComponent {
 public:
  explicit TDLPortIO(TComponent* AOwner);
  ~TDLPortIO() override;

  // Folder of the driver file "DLPortIO.SYS"; the system directory + "\DRIVERS" at first.
  const String& DriverPath() const { return FDriverPath; }
  void SetDriverPath(const String& Value) { FDriverPath = Value; }
  // Folder of the library; empty loads the bare name "DLPortIO.dll".
  const String& DLLPath() const { return FDLLPath; }
  void SetDLLPath(const String& Value) { FDLLPath = Value; }
  // True while the library is loaded with all twelve entry points bound.
  Boolean ActiveHW() const { return FActiveHW; }
  Boolean HardAccess() const { return FHardAccess; }
  void SetHardAccess(Boolean Value) { FHardAccess = Value; }
  // Text of the last failed service step, e.g. "DriverStart: Error #2".
  const String& LastError() const { return FLastError; }

  void OpenDriver();
  void CloseDriver();
  // Puts the byte on the port; nothing while the driver is not open.
  void WritePort(Word Port, Byte Value);

  // The service steps of OpenDriver and CloseDriver; false on failure, with LastError set.
  Boolean ConnectSCM();
  void DisconnectSCM();
  Boolean DriverInstall();
  Boolean DriverStart();
  Boolean DriverStop();
  Boolean DriverRemove();

 private:
  enum TEntryPoint {
#define DLPORTIO_ENUM(Name, Type) ep##Name,
    DLPORTIO_ENTRY_POINTS(DLPORTIO_ENUM)
#undef DLPORTIO_ENUM
        epCount
  };
#define DLPORTIO_TYPE(Name, Type) using T##Name = Type;
  DLPORTIO_ENTRY_POINTS(DLPORTIO_TYPE)
#undef DLPORTIO_TYPE

  void SetStepError(const char* Prefix, DWORD Code);

  String FDriverPath;
  String FDLLPath;
  Boolean FActiveHW = false;
  Boolean FHardAccess = true;
  String FLastError;

  Boolean RunningWinNT = false;
  HMODULE hDLL = nullptr;
  SC_HANDLE hSCMan = nullptr;
  Boolean DriverWasInstalled = false;
  Boolean DriverWasRunning = false;
  FARPROC EntryPoints[epCount] = {};
};
