// The fault table and the update files sent into it.
#include "fault_table.h"

#include <cstdio>

namespace talpir::test {

const std::vector<Fault>& faultTable() {
    static const std::vector<Fault> table = {
        {"HangUpMidBlock",
         {"--hangup-after", "100"},
         false,
         "Связь с устройством потеряна.",
         5,
         true,
         kDone,
         0},
        {"SilentThenAbort", {"--silent", "1"}, true, "", 130, false, kDone, 0},
        {"Noise", {"--noise"}, false, kDone, 0, false, kDone, 0},
        {"GarbageEchoAmongNoise",
         {"--noise", "--bad-echo", "1:5"},
         false,
         "Ошибка чтения эха =5",
         4,
         false,
         kDone,
         0},
        // The follow-up is refused too: what shows is that it got the port.
        {"RefusesEverything", {"--refuse-first", "100"}, false, kRefused, 4, false, kRefused, 4},
    };
    return table;
}

bool writeUpdateFile(const std::string& path, int blocks) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        return false;
    }
    for (int b = 0; b < blocks; ++b) {
        std::fprintf(file, "%02X %02X\n", kPayload >> 8, kPayload & 0xFF);
        for (int i = 0; i < kPayload; ++i) {
            std::fprintf(file, "%02X ", (b * 29 + i * 13 + 5) & 0xFF);
        }
        std::fputc('\n', file);
    }
    return std::fclose(file) == 0;
}

}  // namespace talpir::test
