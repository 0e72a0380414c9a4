// Reading the service's reply and encoding the request, at a real size and at a hostile one.
#include <benchmark/benchmark.h>

#include <nlohmann/json.hpp>

#include "service/ServiceClient.h"

namespace {

std::string replyOf(size_t bytes) {
    std::string text;
    text.reserve(bytes);
    const std::string sentence = "Rôle : tu es un assistant expert \"précis\".\n";
    while (text.size() < bytes) text += sentence;
    text.resize(bytes - bytes % 2);
    return nlohmann::json{{"improved_prompt", text}, {"model", "builtin"}}.dump();
}

void interpret(benchmark::State& state) {
    const quillberry::HttpResponse response{false, 200, replyOf(size_t(state.range(0)))};
    for (auto _ : state) {
        auto prompt = quillberry::interpretReply(response);
        benchmark::DoNotOptimize(prompt);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(response.body->size()));
}
BENCHMARK(interpret)->Arg(1 << 10)->Arg(10 << 20)->Unit(benchmark::kMicrosecond);

void encode(benchmark::State& state) {
    std::string text(size_t(state.range(0)), 'a');
    for (size_t i = 0; i < text.size(); i += 64) text[i] = '\n';
    for (auto _ : state) {
        auto request = quillberry::buildImproveRequest(text, "me@example.com");
        benchmark::DoNotOptimize(request);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * state.range(0));
}
BENCHMARK(encode)->Arg(10 << 20)->Unit(benchmark::kMillisecond);

}  // namespace
