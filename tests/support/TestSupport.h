// Helpers shared by the test programs.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace kaztest {

// The private prefix folder of this test process (also in $KAZ_PREFIX).
std::string Prefix();

// The folder of the running test program; peers and libraries are built beside it.
std::string ProgramDir();

// A fresh empty folder below the test's prefix.
std::string MakeTempDir(const std::string& name);

// Serves the calling thread's message queue (posted and sent messages, timers) until
// `done` answers true or `timeoutMs` has passed; answers whether `done` came true.
bool PumpUntil(const std::function<bool()>& done, int timeoutMs = 5000);
// Serves the calling thread's message queue for `ms` milliseconds.
void PumpFor(int ms);

// Starts a program (by path, or by name on the PATH) with arguments; answers its pid, or -1.
// A quiet program's standard error goes nowhere.
int Spawn(const std::string& path, const std::vector<std::string>& args, bool quiet = false);
// Waits for a spawned program; answers its exit status (128 + signal when killed), or -1
// when it did not end within timeoutMs (it is then killed).
int WaitExit(int pid, int timeoutMs);

// The exit status of a spawned program that has ended, or -1 while it still runs.
int TryWait(int pid);

// Runs a shell command and answers what it wrote to its standard output.
std::string Shell(const std::string& command);

void WriteFile(const std::string& path, const std::string& bytes);
std::string ReadFile(const std::string& path);

}  // namespace kaztest
