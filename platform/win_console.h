// Console output of the program: standard output written and flushed at once (progress
// text must show before a child process writes), and the process-level report of an
// exception that escapes the main routine.
#pragma once
#include <exception>
#include <functional>
#include <string>

void ConsoleWrite(const std::string& Text);
void ConsoleWriteLn(const std::string& Text = std::string());

// While it lives, the console output of the calling thread goes to Target
// instead (work done beside other work, printed later in its turn).
class TConsoleCapture {
public:
  explicit TConsoleCapture(std::string& Target);
  ~TConsoleCapture();
  TConsoleCapture(const TConsoleCapture&) = delete;
  TConsoleCapture& operator=(const TConsoleCapture&) = delete;

private:
  std::string* FOuter;
};

// Class name of an exception object, without namespace decoration where there is none.
std::string ExceptionClassName(const std::exception& E);
// Runs Body and returns its exit code; an exception escaping it is printed on standard
// error as "<class>: <message>" and gives exit code 1.
int RunConsoleMain(const std::function<int()>& Body);
