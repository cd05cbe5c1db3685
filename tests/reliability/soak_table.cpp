// The soak round and the number of transfers.
#include "soak_table.h"

#include <cstdlib>
#include <string>

namespace talpir::test {

using link::Outcome;

const std::vector<SoakStep>& soakRound() {
    static const std::vector<SoakStep> round = {
        {"clean", {}, SoakPort::Steady, Outcome::Done, "Передача файла завершена."},
        {"refused thrice",
         {"--refuse-first", "3"},
         SoakPort::Steady,
         Outcome::Done,
         "Передача файла завершена."},
        {"version error",
         {"--version-error", "1"},
         SoakPort::Steady,
         Outcome::VersionError,
         "Ошибка версии."},
        {"bad echo",
         {"--noise", "--bad-echo", "1:3"},
         SoakPort::Steady,
         Outcome::EchoMismatch,
         "Ошибка чтения эха =3"},
        {"refused",
         {"--refuse-block", "0"},
         SoakPort::Steady,
         Outcome::Refused,
         "default error. File damaged."},
        {"silent",
         {"--silent", "1"},
         SoakPort::Steady,
         Outcome::NoAnswer,
         "Устройство не отвечает.",
         true},
        {"hang-up",
         {"--hangup-after", "100"},
         SoakPort::Fresh,
         Outcome::LinkLost,
         "Связь с устройством потеряна."},
        {"missing port", {}, SoakPort::Missing, Outcome::PortNotOpened, ""},
        {"port in use", {}, SoakPort::Held, Outcome::PortNotOpened, ""},
    };
    return round;
}

int soakTransfers() {
    const char* text = std::getenv("TALPIR_SOAK_TRANSFERS");
    const int count = text != nullptr ? std::atoi(text) : 0;
    return count > 0 ? count : kSoakTransfers;
}

}  // namespace talpir::test
