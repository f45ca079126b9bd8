// A stand-in for openvpn.exe in the Windows tests: "openvpn --config FILE"
// reads FILE and behaves as its lines say:
//   fake-user NAME / fake-password WORD  prompt for both and compare the answers
//   fake-fail TEXT                        print TEXT and end with exit code 1
// With the right answers it prints openvpn's success line and waits to be
// ended (at most two minutes); with wrong ones it prints the failure and ends.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <string>

namespace {

std::string answer() {
  std::string line;
  std::getline(std::cin, line);
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

}  // namespace

int main(int argc, char** argv) {
  const char* config = nullptr;
  for (int i = 1; i + 1 < argc; ++i)
    if (std::strcmp(argv[i], "--config") == 0) config = argv[i + 1];
  if (!config) {
    std::printf("Options error: --config is missing\n");
    return 1;
  }
  std::ifstream in(config);
  if (!in) {
    std::printf("Options error: In [CMD-LINE]:1: Error opening configuration file: %s\n", config);
    return 1;
  }
  std::string user, password, line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.rfind("fake-fail ", 0) == 0) {
      std::printf("%s\n", line.c_str() + 10);
      return 1;
    }
    if (line.rfind("fake-user ", 0) == 0) user = line.substr(10);
    if (line.rfind("fake-password ", 0) == 0) password = line.substr(14);
  }
  std::printf("OpenVPN 2.6 (fake) x86_64-w64-mingw32\n");
  std::fflush(stdout);
  if (!user.empty()) {
    std::printf("Enter Auth Username:");
    std::fflush(stdout);
    const std::string givenUser = answer();
    std::printf("Enter Auth Password:");
    std::fflush(stdout);
    const std::string givenPassword = answer();
    if (givenUser != user || givenPassword != password) {
      std::printf("\nAUTH: Received control message: AUTH_FAILED\n");
      std::printf("SIGTERM[soft,auth-failure] received, process exiting\n");
      return 1;
    }
    std::printf("\n");
  }
  std::printf("Initialization Sequence Completed\n");
  std::fflush(stdout);
  Sleep(120000);  // ended by the monitor long before
  return 0;
}
