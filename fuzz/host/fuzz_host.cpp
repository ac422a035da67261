// The host protocol: the input becomes a sequence of host commands sent
// through the module's EntryPointFunc by the stand-in host, which is made to
// misbehave on the way: commands out of order (render before setup,
// setdowns twice or first, resetup without flatten), suites that go missing
// and come back, depth and input size changes between frames, parameter
// values of any number (NaN, infinities), both hosts' command sequences, and
// command codes the module does not handle or sent with no extra record.
// Whatever the order, the module returns an error code or renders; it never
// crashes, and the stand-in host sees no handle misuse.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdlib>
#include <iterator>

#include "hostsim/Error.h"
#include "hostsim/Host.h"
#include "sdk/PF_Suites.h"

namespace {

const char* const kSuites[] = {kPFHandleSuite,        kAEGPUtilitySuite,      kPFPixelFormatSuite, kPFWorldSuite,
                               kPFPixelDataSuite,     kPFColorParamSuite,     kPFParamUtilsSuite,  kPFEffectUISuite,
                               kAEGPPFInterfaceSuite, kAEGPLayerSuite,        kAEGPCompSuite,      kAEGPItemSuite,
                               kPFUtilitySuite,       kPrSDKSequenceInfoSuite};

// Codes sent with no extra record and no output world, as a host may send
// them: unhandled commands, about, dialog, frame setdown, UI update.
const PF_Cmd kBareCommands[] = {PF_Cmd_ABOUT,
                                2,
                                PF_Cmd_DO_DIALOG,
                                PF_Cmd_FRAME_SETDOWN,
                                PF_Cmd_UPDATE_PARAMS_UI,
                                PF_Cmd_GET_EXTERNAL_DEPENDENCIES,
                                PF_Cmd_COMPLETELY_GENERAL,
                                PF_Cmd_QUERY_DYNAMIC_FLAGS,
                                PF_Cmd_AUDIO_RENDER,
                                PF_Cmd_AUDIO_SETUP,
                                PF_Cmd_AUDIO_SETDOWN,
                                PF_Cmd_ARBITRARY_CALLBACK,
                                PF_Cmd_NUM_CMDS,
                                99,
                                -1};

hostsim::Module& module() {
    static hostsim::Module loaded(FUZZ_MODULE);
    return loaded;
}

struct Session {
    bool global = false, sequence = false;
};

// One host action picked by the input.
void act(hostsim::Host& host, FuzzedDataProvider& in, Session& live) {
    bool& global = live.global;
    bool& sequence = live.sequence;
    const int32_t param = in.ConsumeIntegralInRange<int32_t>(1, std::max(1, host.paramCount() - 1));
    switch (in.ConsumeIntegralInRange<int>(0, 15)) {
        case 0: global = sequence = host.start() == PF_Err_NONE; break;
        case 1:
        case 2: host.render(in.ConsumeIntegralInRange<int32_t>(-100000, 100000)); break;
        case 3: host.setDepth(8u << in.ConsumeIntegralInRange<int>(0, 2)); break;
        case 4:
            host.setInput(
                hostsim::Image(in.ConsumeIntegralInRange<uint32_t>(1, 40), in.ConsumeIntegralInRange<uint32_t>(1, 40)));
            break;
        case 5:
            host.suites().setMissing(kSuites[in.ConsumeIntegralInRange<size_t>(0, std::size(kSuites) - 1)],
                                     hostsim::SuiteRegistry::kAllVersions, in.ConsumeBool());
            break;
        case 6: host.send(kBareCommands[in.ConsumeIntegralInRange<size_t>(0, std::size(kBareCommands) - 1)]); break;
        case 7:
            host.sequenceSetdown();
            sequence = false;
            break;
        case 8:
            host.globalSetdown();
            global = false;
            break;
        case 9: sequence = host.sequenceSetup() == PF_Err_NONE || sequence; break;
        case 10: host.saveAndReload(); break;
        case 11:
            if (host.paramCount() > 1) host.userChangedParam(param);
            break;
        case 12: host.updateParamsUI(); break;
        case 13: {
            int32_t flags = 0;
            if (host.paramCount() > 1) host.event(param, &flags);
            break;
        }
        case 14: global = host.globalSetup() == PF_Err_NONE || global; break;
        case 15:
            if (host.paramCount() > 1) host.setFloat(param, in.ConsumeFloatingPoint<double>());
            break;
    }
}

void run(hostsim::Host& host, FuzzedDataProvider& in) {
    Session live;
    for (int step = 0; step < 32 && in.remaining_bytes(); ++step) {
        try {
            act(host, in, live);
        } catch (const hostsim::Error&) {
            // Misuse of the stand-in itself (a value of the wrong kind for
            // the parameter, a depth the module did not declare): not the
            // module's fault.
        }
    }
    // The host ends what it began.
    if (live.sequence) host.sequenceSetdown();
    if (live.global) host.globalSetdown();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    hostsim::HostConfig config;
    config.kind = in.ConsumeBool() ? hostsim::HostKind::Editing : hostsim::HostKind::Compositing;
    config.smartRender = in.ConsumeBool();
    config.frameSetup = in.ConsumeIntegralInRange<int>(0, 7) != 0;
    config.rowPadding = in.ConsumeIntegralInRange<uint32_t>(0, 64);
    hostsim::Host host(module(), config);
    host.setInput(hostsim::Image(16, 9));
    run(host, in);
    if (host.handles().badCalls() != 0) __builtin_trap();
    return 0;
}
