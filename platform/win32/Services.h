// The service control manager: install, start, stop and remove services (here: kernel
// drivers such as the port I/O driver), with the platform's calls, access rights,
// states and error codes.
//
// The service database is the folder `<prefix>/services`: one small text file per service,
// "<name in lower case>.service", changed only under the lock of `<prefix>/services/.lock`
// and replaced atomically (write beside, then rename), so every program of the prefix sees
// one state and a crash never leaves a half-written record. A record is "key=value" lines:
//   name, display, binary, group, account  texts (bytes '%', ',' and below 0x20 as %XX)
//   dependencies                            names separated by ','
//   type, start, error, tag                 numbers as given to CreateServiceA
//   state                                   SERVICE_STOPPED (1) ... SERVICE_RUNNING (4)
//   started                                 1 once the service has ever run
//   deleted                                 1 once DeleteService marked it
//   id                                      a random number telling one creation apart
//   handles                                 "<pid>:<count>" for every process holding
//                                           handles to it, separated by ','
// A record that cannot be read is no service. Tests and tools may edit `state` to put a
// service in a pending state (2 or 3), as a driver that hangs in its start or stop does;
// nothing here ever makes a pending state itself: a driver starts and stops at once.
//
// Rights of the user: by default the user may do everything, as an administrator. When
// `<prefix>/services/policy` holds the line "create=deny", the user is one without
// administrator rights: opening the manager with any right that only administrators hold
// (SC_MANAGER_CREATE_SERVICE, SC_MANAGER_LOCK, SC_MANAGER_MODIFY_BOOT_CONFIG, DELETE,
// WRITE_DAC, WRITE_OWNER) fails with ERROR_ACCESS_DENIED; everything else stays allowed.
// The file is read at every OpenSCManagerA.
//
// Only driver services (SERVICE_KERNEL_DRIVER, SERVICE_FILE_SYSTEM_DRIVER) can be created:
// there is no service process host here. Starting a driver checks that its file exists and
// marks it running; stopping marks it stopped. A driver keeps running after the program
// that started it has ended, until someone stops it. Generic rights (GENERIC_READ, ...)
// are not mapped; ask for the specific rights.
//
// Handles are entries of the kernel-object registry (win32/Sync.h): a closed or made-up
// handle, or a handle of the wrong kind, fails with ERROR_INVALID_HANDLE, never a crash.
//
// Everything here may be called from any thread and from several programs at once.
#pragma once

#include "win32/Types.h"

// Access rights of the manager.
constexpr DWORD SC_MANAGER_CONNECT = 0x0001;
constexpr DWORD SC_MANAGER_CREATE_SERVICE = 0x0002;
constexpr DWORD SC_MANAGER_ENUMERATE_SERVICE = 0x0004;
constexpr DWORD SC_MANAGER_LOCK = 0x0008;
constexpr DWORD SC_MANAGER_QUERY_LOCK_STATUS = 0x0010;
constexpr DWORD SC_MANAGER_MODIFY_BOOT_CONFIG = 0x0020;
constexpr DWORD SC_MANAGER_ALL_ACCESS = 0xF003F;

// Standard rights.
constexpr DWORD DELETE = 0x00010000;
constexpr DWORD READ_CONTROL = 0x00020000;
constexpr DWORD WRITE_DAC = 0x00040000;
constexpr DWORD WRITE_OWNER = 0x00080000;

// Access rights of a service.
constexpr DWORD SERVICE_QUERY_CONFIG = 0x0001;
constexpr DWORD SERVICE_CHANGE_CONFIG = 0x0002;
constexpr DWORD SERVICE_QUERY_STATUS = 0x0004;
constexpr DWORD SERVICE_ENUMERATE_DEPENDENTS = 0x0008;
constexpr DWORD SERVICE_START = 0x0010;
constexpr DWORD SERVICE_STOP = 0x0020;
constexpr DWORD SERVICE_PAUSE_CONTINUE = 0x0040;
constexpr DWORD SERVICE_INTERROGATE = 0x0080;
constexpr DWORD SERVICE_USER_DEFINED_CONTROL = 0x0100;
constexpr DWORD SERVICE_ALL_ACCESS = 0xF01FF;

// Service types.
constexpr DWORD SERVICE_KERNEL_DRIVER = 0x01;
constexpr DWORD SERVICE_FILE_SYSTEM_DRIVER = 0x02;
constexpr DWORD SERVICE_WIN32_OWN_PROCESS = 0x10;
constexpr DWORD SERVICE_WIN32_SHARE_PROCESS = 0x20;
constexpr DWORD SERVICE_INTERACTIVE_PROCESS = 0x100;

// Start types.
constexpr DWORD SERVICE_BOOT_START = 0;
constexpr DWORD SERVICE_SYSTEM_START = 1;
constexpr DWORD SERVICE_AUTO_START = 2;
constexpr DWORD SERVICE_DEMAND_START = 3;
constexpr DWORD SERVICE_DISABLED = 4;

// Error control.
constexpr DWORD SERVICE_ERROR_IGNORE = 0;
constexpr DWORD SERVICE_ERROR_NORMAL = 1;
constexpr DWORD SERVICE_ERROR_SEVERE = 2;
constexpr DWORD SERVICE_ERROR_CRITICAL = 3;

// States (SERVICE_STATUS.dwCurrentState).
constexpr DWORD SERVICE_STOPPED = 1;
constexpr DWORD SERVICE_START_PENDING = 2;
constexpr DWORD SERVICE_STOP_PENDING = 3;
constexpr DWORD SERVICE_RUNNING = 4;
constexpr DWORD SERVICE_CONTINUE_PENDING = 5;
constexpr DWORD SERVICE_PAUSE_PENDING = 6;
constexpr DWORD SERVICE_PAUSED = 7;

// Controls (ControlService) and the controls a service accepts.
constexpr DWORD SERVICE_CONTROL_STOP = 1;
constexpr DWORD SERVICE_CONTROL_PAUSE = 2;
constexpr DWORD SERVICE_CONTROL_CONTINUE = 3;
constexpr DWORD SERVICE_CONTROL_INTERROGATE = 4;
constexpr DWORD SERVICE_ACCEPT_STOP = 0x1;

// The active database's name (OpenSCManagerA accepts it or null).
inline constexpr char SERVICES_ACTIVE_DATABASEA[] = "ServicesActive";

// Error codes of this area.
constexpr DWORD ERROR_INVALID_SERVICE_CONTROL = 1052;
constexpr DWORD ERROR_SERVICE_ALREADY_RUNNING = 1056;
constexpr DWORD ERROR_SERVICE_DISABLED = 1058;
constexpr DWORD ERROR_SERVICE_DOES_NOT_EXIST = 1060;
constexpr DWORD ERROR_SERVICE_CANNOT_ACCEPT_CTRL = 1061;
constexpr DWORD ERROR_SERVICE_NOT_ACTIVE = 1062;
constexpr DWORD ERROR_DATABASE_DOES_NOT_EXIST = 1065;
constexpr DWORD ERROR_SERVICE_MARKED_FOR_DELETE = 1072;
constexpr DWORD ERROR_SERVICE_EXISTS = 1073;
constexpr DWORD ERROR_SERVICE_NEVER_STARTED = 1077;
constexpr DWORD ERROR_DUPLICATE_SERVICE_NAME = 1078;
constexpr DWORD RPC_S_SERVER_UNAVAILABLE = 1722;

struct SERVICE_STATUS {
  DWORD dwServiceType;
  DWORD dwCurrentState;
  DWORD dwControlsAccepted;         // SERVICE_ACCEPT_STOP while running, else 0
  DWORD dwWin32ExitCode;            // ERROR_SERVICE_NEVER_STARTED until it first ran
  DWORD dwServiceSpecificExitCode;  // always 0
  DWORD dwCheckPoint;               // always 0
  DWORD dwWaitHint;                 // always 0
};
static_assert(sizeof(SERVICE_STATUS) == 28);

// Opens the manager of the local machine: `machine` null, "" or "\\." (any other machine:
// RPC_S_SERVER_UNAVAILABLE); `database` null or "ServicesActive" (another name:
// ERROR_DATABASE_DOES_NOT_EXIST, as does an unusable prefix). Rights the user lacks (see
// above): ERROR_ACCESS_DENIED. Null on failure.
SC_HANDLE OpenSCManagerA(LPCSTR machine, LPCSTR database, DWORD desiredAccess);

// Opens a service by name (letter case ignored). ERROR_SERVICE_DOES_NOT_EXIST when there is
// none; a service marked for deletion can still be opened until it disappears.
// ERROR_INVALID_NAME for a null or empty name. The handle holds exactly `desiredAccess`.
SC_HANDLE OpenServiceA(SC_HANDLE manager, LPCSTR serviceName, DWORD desiredAccess);

// Creates a service and opens it with `desiredAccess`. The manager handle needs
// SC_MANAGER_CREATE_SERVICE (else ERROR_ACCESS_DENIED). Errors: ERROR_SERVICE_EXISTS (a
// service of that name), ERROR_SERVICE_MARKED_FOR_DELETE (one that is marked for deletion
// and not gone yet), ERROR_DUPLICATE_SERVICE_NAME (the name or display name is another
// service's name or display name), ERROR_INVALID_NAME (null, empty, longer than 256 bytes,
// or holding '/' or '\'), ERROR_NOT_SUPPORTED (a process service type),
// ERROR_INVALID_PARAMETER (an unknown type, no binary path, start type or error control out
// of range, a tag asked for without a load order group).
// `binaryPath` is kept as given: a Windows path, "\SystemRoot\..." or a path relative to
// the Windows directory. With `tagId` the new service gets the next tag of its group.
// `dependencies` is a list of names each ended by a NUL, the list by one more. The
// password is never stored.
SC_HANDLE CreateServiceA(SC_HANDLE manager, LPCSTR serviceName, LPCSTR displayName,
                         DWORD desiredAccess, DWORD serviceType, DWORD startType,
                         DWORD errorControl, LPCSTR binaryPath, LPCSTR loadOrderGroup,
                         LPDWORD tagId, LPCSTR dependencies, LPCSTR serviceStartName,
                         LPCSTR password);

// Needs SERVICE_QUERY_STATUS. ERROR_INVALID_PARAMETER for a null `status`.
BOOL QueryServiceStatus(SC_HANDLE service, SERVICE_STATUS* status);

// Starts a stopped driver. Needs SERVICE_START. Errors: ERROR_SERVICE_ALREADY_RUNNING
// (running or in a pending state), ERROR_SERVICE_MARKED_FOR_DELETE, ERROR_SERVICE_DISABLED,
// ERROR_FILE_NOT_FOUND (the driver file is not a file there). Arguments are ignored, as a
// driver takes none.
BOOL StartServiceA(SC_HANDLE service, DWORD numArgs, LPCSTR* args);

// SERVICE_CONTROL_STOP (needs SERVICE_STOP) stops a running driver;
// SERVICE_CONTROL_INTERROGATE (needs SERVICE_INTERROGATE) only answers the status. Errors:
// ERROR_SERVICE_NOT_ACTIVE (stopped), ERROR_SERVICE_CANNOT_ACCEPT_CTRL (in a pending
// state), ERROR_INVALID_SERVICE_CONTROL (any other control: a driver cannot pause),
// ERROR_INVALID_PARAMETER (null `status`). `status` receives the state after the control,
// also when it fails because of the state.
BOOL ControlService(SC_HANDLE service, DWORD control, SERVICE_STATUS* status);

// Marks the service for deletion (needs DELETE). It disappears once it is stopped and the
// last handle to it, in any program, is closed (a program that ended no longer holds any).
// ERROR_SERVICE_MARKED_FOR_DELETE when it is marked already.
BOOL DeleteService(SC_HANDLE service);

// Closes a manager or service handle.
BOOL CloseServiceHandle(SC_HANDLE handle);
