#pragma once
// The service's options: from the environment, the systemd credential, a configuration file
// and the command line.

#include <string>
#include <variant>
#include <vector>

#include "Improver.h"

namespace quillberry::service {

struct Options {
    std::string host = "127.0.0.1", cert, key;
    int port = 8787;
    std::vector<std::string> serverNames;  // host names served besides the loopback ones
    UpstreamConfig upstream;
};

// The options from the environment, the credential, the configuration file and the command
// line (`args`, without the program's name), in that order; or the exit status when there is
// nothing to serve (help, version, an error, which it explains on stderr).
std::variant<Options, int> readOptions(std::vector<std::string> args);

}  // namespace quillberry::service
