// The core's own work per module: the block checksum, decoding a block into
// the form and encoding the form back, and the form exchange both ways.
#include <benchmark/benchmark.h>

#include "config/crc16.hpp"
#include "config/field_codec.hpp"
#include "ui/form_exchange.hpp"
#include "ui/in_memory_form_view.hpp"
#include "ui/settings_form.hpp"

namespace dl250t {
namespace {

class SilentPrompter final : public Prompter {
public:
    void showMessage(std::string_view, std::string_view, MessageIcon) override {}
    std::optional<std::string> chooseFile(const FileRequest&) override { return std::nullopt; }
};

// A block whose every value lies inside its range, so an encode warns nothing.
ConfigBlock typicalBlock() {
    InMemoryFormView view;
    SilentPrompter prompter;
    SettingsForm form(view, prompter, "bench");
    ConfigBlock block = makeInitialWorkingBlock();
    form.fill();
    form.applyDefaultRate();
    form.applyRateUpperLimit();
    view.setText(ctl::Serial, "00 00 00 00 01 00");
    view.setText(ctl::AckPacket, "68 AA AA AA AA AA AA 68 81 03 43 C3 12 16");
    form.advancedShown = true;
    form.encodeBlock(block);
    stampHeaderAndCrc(block);
    return block;
}

void crcOverThePayload(benchmark::State& state) {
    const ConfigBlock block = typicalBlock();
    for (auto _ : state) {
        benchmark::DoNotOptimize(computeCrc(block.payload()));
    }
    state.SetBytesProcessed(state.iterations() * 512);
}
BENCHMARK(crcOverThePayload);

void decodeThenEncode(benchmark::State& state) {
    InMemoryFormView view;
    SilentPrompter prompter;
    SettingsForm form(view, prompter, "bench");
    form.advancedShown = true;
    const ConfigBlock block = typicalBlock();
    ConfigBlock working = block;
    for (auto _ : state) {
        form.decodeBlock(block);
        form.encodeBlock(working);
        benchmark::DoNotOptimize(working);
    }
}
BENCHMARK(decodeThenEncode);

void decodeBlockIntoTheForm(benchmark::State& state) {
    InMemoryFormView view;
    SilentPrompter prompter;
    SettingsForm form(view, prompter, "bench");
    const ConfigBlock block = typicalBlock();
    for (auto _ : state) {
        form.decodeBlock(block);
    }
}
BENCHMARK(decodeBlockIntoTheForm);

void encodeTheFormIntoABlock(benchmark::State& state) {
    InMemoryFormView view;
    SilentPrompter prompter;
    SettingsForm form(view, prompter, "bench");
    form.advancedShown = true;
    form.decodeBlock(typicalBlock());
    ConfigBlock working = typicalBlock();
    for (auto _ : state) {
        form.encodeBlock(working);
        benchmark::DoNotOptimize(working);
    }
}
BENCHMARK(encodeTheFormIntoABlock);

void fillTheForm(benchmark::State& state) {
    InMemoryFormView view;
    ModuleSettings settings;
    std::int32_t autoConfigure = 0;
    for (auto _ : state) {
        // Alternate two values so that every fill really sets the controls.
        settings.networkId ^= 1;
        settings.startFrequencyMHz = settings.networkId ? 433.0 : 470.5;
        fillForm(view, settings, autoConfigure);
    }
}
BENCHMARK(fillTheForm);

void readTheForm(benchmark::State& state) {
    InMemoryFormView view;
    SilentPrompter prompter;
    ModuleSettings settings;
    std::int32_t autoConfigure = 0;
    fillForm(view, settings, autoConfigure);
    for (auto _ : state) {
        benchmark::DoNotOptimize(readForm(view, prompter, "bench", settings, autoConfigure));
    }
}
BENCHMARK(readTheForm);

}  // namespace
}  // namespace dl250t

BENCHMARK_MAIN();
