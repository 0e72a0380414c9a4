// quillberry-service: the reference optimisation service. `--help` lists the options; the
// manual page (packaging/quillberry-service.1) says more.

#include <malloc.h>
#include <pthread.h>

#include <atomic>
#include <csignal>
#include <iostream>
#include <memory>
#include <thread>
#include <variant>
#include <vector>

#include "Options.h"
#include "Service.h"

namespace {

// Never destroyed: the signal thread may still look at it while the process exits.
httplib::Server* server = nullptr;
std::atomic<bool> serverReady{false}, stopRequested{false};

// Waits for a stop signal, then stops the server once it runs. A signal before main reaches
// listen makes main skip it; one just after is acted on as soon as the server is running.
void stopOnSignal(sigset_t signals) {
    int signal = 0;
    sigwait(&signals, &signal);
    stopRequested = true;
    while (!serverReady || !server->is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    server->stop();
}

}  // namespace

int main(int argc, char** argv) {
    using namespace quillberry::service;
    // Bodies, prompts and replies of a hundred kilobytes and more are mapped on their own and
    // handed back when freed. By default glibc raises this threshold after the first such
    // free, and later big blocks then stay in the threads' heaps for good.
    mallopt(M_MMAP_THRESHOLD, 128 << 10);
    // SIGTERM and SIGINT are taken by one thread from the first instruction on, so one that
    // arrives while the service is still starting is not lost (see stopOnSignal).
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    std::thread(stopOnSignal, stopSignals).detach();

    const auto read = readOptions(std::vector<std::string>(argv + 1, argv + argc));
    if (const int* status = std::get_if<int>(&read)) return *status;
    const Options& o = std::get<Options>(read);

    std::unique_ptr<Improver> improver;
    if (o.upstream.baseUrl.empty()) improver = std::make_unique<BuiltinImprover>();
    else improver = std::make_unique<UpstreamImprover>(o.upstream);

    if (o.cert.empty()) server = new httplib::Server;
    else server = new httplib::SSLServer(o.cert.c_str(), o.key.c_str());
    if (!server->is_valid()) {
        std::cerr << "quillberry-service: cannot load the certificate or key\n";
        return 1;
    }
    installRoutes(*server, *improver, o.serverNames);

    if (!server->bind_to_port(o.host, o.port)) {
        std::cerr << "quillberry-service: cannot listen on " << o.host << ":" << o.port << "\n";
        return 1;
    }
    std::cerr << "quillberry-service: listening on " << (o.cert.empty() ? "http" : "https") << "://" << o.host << ":"
              << o.port << " (" << (o.upstream.baseUrl.empty() ? "built-in improver" : "upstream model") << ")\n";
    serverReady = true;
    if (stopRequested) return 0;
    server->listen_after_bind();
    // httplib stops accepting on errors such as ENFILE or ENOBUFS: a service that stopped
    // serving unasked must not look like one that was stopped, or it is not restarted.
    if (stopRequested) return 0;
    std::cerr << "quillberry-service: stopped accepting connections\n";
    return 1;
}
