// A scriptable stand-in for the optimisation service, for the latency benchmark: it
// records each request's body to a file and answers as its mode says.
//   stub-service PORT RECORD_FILE MODE
//   MODE: echo (200, "improved_prompt" = "Amélioré : " + prompt; but the prompt "big" gets
//   a 5 MB one-line prompt and "array" a 2-million-element array beside a short one), stall
//   (never answers /improve within a minute), error (500)

#include <httplib.h>

#include <chrono>
#include <csignal>
#include <fstream>
#include <nlohmann/json.hpp>
#include <thread>

namespace {
httplib::Server* running = nullptr;
}

int main(int argc, char** argv) {
    if (argc != 4) return 2;
    const int port = std::stoi(argv[1]);
    const std::string record = argv[2], mode = argv[3];
    httplib::Server server;
    auto wallNs = [] {
        return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::system_clock::now().time_since_epoch())
            .count();
    };
    server.Post("/improve", [&](const httplib::Request& req, httplib::Response& res) {
        const long long arrival = wallNs();
        {
            std::ofstream out(record, std::ios::app);
            out << req.body << "\n";
        }
        if (mode == "stall") {
            for (int i = 0; i < 600 && server.is_running(); ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
            return;
        }
        if (mode == "error") {
            res.status = 500;
            res.set_content(R"({"improved_prompt":"ignored"})", "application/json");
            return;
        }
        auto body = nlohmann::json::parse(req.body, nullptr, false);
        std::string prompt = body.is_object() && body.contains("prompt") ? body["prompt"].get<std::string>() : "";
        if (prompt == "big") {
            res.set_content(nlohmann::json{{"improved_prompt", std::string(5'000'000, 'A')}}.dump(),
                            "application/json");
        } else if (prompt == "array") {
            std::string reply = R"({"improved_prompt":"ok","data":[0)";
            for (int i = 1; i < 2'000'000; ++i) reply += ",0";
            res.set_content(reply + "]}", "application/json");
        } else {
            res.set_content(nlohmann::json{{"improved_prompt", "Amélioré : " + prompt}}.dump(), "application/json");
        }
        std::ofstream(record + ".times", std::ios::app) << arrival << " " << wallNs() << "\n";
    });
    // Not only SO_REUSEPORT (httplib's default): the port may still have connections of an
    // earlier run in TIME_WAIT.
    server.set_socket_options([](socket_t sock) {
        int yes = 1;
        ::setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    });
    running = &server;
    std::signal(SIGTERM, [](int) {
        if (running) running->stop();
    });
    server.listen("127.0.0.1", port);
    return 0;
}
