// quillberry-service: the reference optimisation service.
//   quillberry-service [--host ADDR] [--port N] [--cert FILE --key FILE]
//                      [--upstream URL] [--model NAME]
// The upstream can also come from QUILLBERRY_UPSTREAM_URL, QUILLBERRY_UPSTREAM_MODEL and
// QUILLBERRY_UPSTREAM_API_KEY (the key is only ever read from the environment).

#include <csignal>
#include <cstdlib>
#include <iostream>
#include <memory>

#include "Service.h"

namespace {

std::unique_ptr<httplib::Server> server;

const char* env(const char* name) {
    const char* value = std::getenv(name);
    return value && *value ? value : nullptr;
}

int usage() {
    std::cerr << "usage: quillberry-service [--host ADDR] [--port N] [--cert FILE --key FILE] "
                 "[--upstream URL] [--model NAME]\n";
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace quillberry::service;
    std::string host = "127.0.0.1", cert, key;
    int port = 8787;
    UpstreamConfig upstream;
    if (const char* url = env("QUILLBERRY_UPSTREAM_URL")) upstream.baseUrl = url;
    if (const char* model = env("QUILLBERRY_UPSTREAM_MODEL")) upstream.model = model;
    if (const char* apiKey = env("QUILLBERRY_UPSTREAM_API_KEY")) upstream.apiKey = apiKey;

    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (i + 1 >= argc) return usage();
        std::string value = argv[++i];
        if (arg == "--host") host = value;
        else if (arg == "--port") {
            try {
                port = std::stoi(value);
            } catch (...) {
                return usage();
            }
            if (port < 0 || port > 65535) return usage();
        } else if (arg == "--cert") cert = value;
        else if (arg == "--key") key = value;
        else if (arg == "--upstream") upstream.baseUrl = value;
        else if (arg == "--model") upstream.model = value;
        else return usage();
    }
    if (cert.empty() != key.empty()) return usage();

    std::unique_ptr<Improver> improver;
    if (upstream.baseUrl.empty()) improver = std::make_unique<BuiltinImprover>();
    else improver = std::make_unique<UpstreamImprover>(upstream);

    if (cert.empty()) server = std::make_unique<httplib::Server>();
    else server = std::make_unique<httplib::SSLServer>(cert.c_str(), key.c_str());
    if (!server->is_valid()) {
        std::cerr << "quillberry-service: cannot load the certificate or key\n";
        return 1;
    }
    installRoutes(*server, *improver);

    struct sigaction action{};
    action.sa_handler = [](int) { if (server) server->stop(); };
    sigemptyset(&action.sa_mask);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);

    if (!server->bind_to_port(host, port)) {
        std::cerr << "quillberry-service: cannot listen on " << host << ":" << port << "\n";
        return 1;
    }
    std::cerr << "quillberry-service: listening on " << (cert.empty() ? "http" : "https") << "://" << host << ":"
              << port << " (" << (upstream.baseUrl.empty() ? "built-in improver" : "upstream model") << ")\n";
    server->listen_after_bind();
    return 0;
}
