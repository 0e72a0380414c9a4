#include "Options.h"

#include <charconv>
#include <cstdlib>
#include <fstream>
#include <iostream>

namespace quillberry::service {

namespace {

const char* env(const char* name) {
    const char* value = std::getenv(name);
    return value && *value ? value : nullptr;
}

const char* const USAGE =
    "usage: quillberry-service [--config FILE] [--host ADDR] [--port N] [--server-name NAME]...\n"
    "                          [--cert FILE --key FILE] [--upstream URL] [--model NAME]\n"
    "       quillberry-service --help | --version\n";

int usage() {
    std::cerr << USAGE;
    return 2;
}

std::string trimmed(const std::string& s) {
    const auto first = s.find_first_not_of(" \t\r\n"), last = s.find_last_not_of(" \t\r\n");
    return first == std::string::npos ? "" : s.substr(first, last - first + 1);
}

// A configuration file holds `name = value` lines with the options' names ("port = 8787"),
// '#' comments and blank lines. Its options come before the command line's, which win.
bool readConfig(const std::string& path, std::vector<std::string>& args) {
    std::ifstream in(path);
    if (!in) return false;
    for (std::string line; std::getline(in, line);) {
        line = trimmed(line);
        if (line.empty() || line[0] == '#') continue;
        const auto eq = line.find('=');
        if (eq == std::string::npos) return false;
        args.push_back("--" + trimmed(line.substr(0, eq)));
        args.push_back(trimmed(line.substr(eq + 1)));
    }
    return true;
}

// The upstream key as a systemd credential: a file only the service's own user can read.
void readCredential(std::string& apiKey) {
    const char* dir = env("CREDENTIALS_DIRECTORY");
    std::ifstream in(std::string(dir ? dir : "") + "/upstream-api-key");
    std::string key;
    if (dir && std::getline(in, key) && !trimmed(key).empty()) apiKey = trimmed(key);
}

// https://, or http:// to a loopback host (127.0.0.0/8, localhost, [::1]).
bool upstreamIsPrivate(const UpstreamTarget& target) {
    return target.origin.rfind("https://", 0) == 0 || target.host == "localhost" || target.host == "::1" ||
           (target.host.rfind("127.", 0) == 0 && target.host.find_first_not_of("0123456789.") == std::string::npos);
}

}  // namespace

std::variant<Options, int> readOptions(std::vector<std::string> args) {
    Options o;
    if (const char* url = env("QUILLBERRY_UPSTREAM_URL")) o.upstream.baseUrl = url;
    if (const char* model = env("QUILLBERRY_UPSTREAM_MODEL")) o.upstream.model = model;
    if (const char* apiKey = env("QUILLBERRY_UPSTREAM_API_KEY")) o.upstream.apiKey = apiKey;
    readCredential(o.upstream.apiKey);

    if (args.size() == 1 && args[0] == "--help") return std::cout << USAGE, 0;
    if (args.size() == 1 && args[0] == "--version")
        return std::cout << "quillberry-service " QUILLBERRY_VERSION "\n", 0;
    if (args.size() >= 2 && args[0] == "--config") {
        std::vector<std::string> fromFile;
        if (!readConfig(args[1], fromFile)) {
            std::cerr << "quillberry-service: cannot read the configuration file " << args[1] << "\n";
            return 2;
        }
        args.erase(args.begin(), args.begin() + 2);
        args.insert(args.begin(), fromFile.begin(), fromFile.end());
    }
    for (size_t i = 0; i < args.size(); i += 2) {
        const std::string& arg = args[i];
        if (i + 1 >= args.size()) return usage();
        const std::string& value = args[i + 1];
        if (arg == "--host") o.host = value;
        else if (arg == "--port") {
            // The whole value, a port a server can listen on: "8787abc" and 0 are mistakes.
            const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), o.port);
            if (error != std::errc() || end != value.data() + value.size() || o.port < 1 || o.port > 65535)
                return usage();
        } else if (arg == "--server-name") o.serverNames.push_back(value);
        else if (arg == "--cert") o.cert = value;
        else if (arg == "--key") o.key = value;
        else if (arg == "--upstream") o.upstream.baseUrl = value;
        else if (arg == "--model") o.upstream.model = value;
        else return usage();
    }
    if (o.cert.empty() != o.key.empty()) return usage();
    if (o.upstream.baseUrl.empty()) return o;
    const auto target = upstreamTarget(o.upstream.baseUrl);
    if (!target) {
        std::cerr << "quillberry-service: the upstream is not a URL the service can call: " << o.upstream.baseUrl
                  << "\n";
        return 2;
    }
    // The key and the prompts never cross a network in clear text.
    if (!upstreamIsPrivate(*target)) {
        std::cerr << "quillberry-service: the upstream must use https:// unless its host is loopback\n";
        return 2;
    }
    return o;
}

}  // namespace quillberry::service
