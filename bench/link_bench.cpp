// talpir-bench-link: the measurements behind bench/run.sh, against talpir-devsim on a pty.
// Usage: talpir-bench-link MEASUREMENT --build DIR --work DIR [--runs N]
//        talpir-bench-link reader FILE.json
// MEASUREMENT: line, unpaced, stop, window, window-stop or size.
// Prints key=value results on stdout and progress on stderr.
#include <signal.h>

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <cstdio>
#include <map>
#include <string_view>

#include "bench_link.h"

namespace talpir::bench {

namespace {

constexpr auto kStopDeadline = std::chrono::seconds(5);  // for devsim to end after SIGTERM
constexpr double kBytesPerMB = 1e6;

}  // namespace

DevSim::DevSim(const Context& context, const std::vector<std::string>& args) {
    std::vector<std::string> argv{context.devsim()};
    argv.insert(argv.end(), args.begin(), args.end());
    ChildOptions options;
    options.captureOut = true;
    options.captureErr = true;
    m_child = std::make_unique<Child>(argv, options);
    const auto path = m_child->out().waitFor([](const TimedLine&) { return true; },
                                             Clock::now() + kStartDeadline);
    if (path) {
        m_port = path->text;
    }
}

DevSim::~DevSim() {
    m_child->signal(SIGTERM);
    m_child->wait(Clock::now() + kStopDeadline);
}

std::optional<Clock::time_point> DevSim::closeSeen(std::size_t from, Clock::time_point after,
                                                   Clock::time_point deadline) {
    const auto line = log().waitFor(
        [after](const TimedLine& l) {
            return l.at >= after && l.text.find("port closed") != std::string::npos;
        },
        deadline, from);
    return line ? std::optional(line->at) : std::nullopt;
}

ImageFiles prepareImage(const Context& context, const std::string& name, std::size_t total,
                        std::size_t payload) {
    ImageFiles files{makeImage(total, payload), context.path(name + ".fwx"),
                     context.path(name + ".bin")};
    if (!writeImage(files.image, files.text, files.raw)) {
        fail("cannot write " + files.text);
    }
    return files;
}

double median(std::vector<double> values) {
    if (values.empty()) {
        return 0;
    }
    std::sort(values.begin(), values.end());
    const std::size_t mid = values.size() / 2;
    return values.size() % 2 ? values[mid] : (values[mid - 1] + values[mid]) / 2;
}

void putResult(const std::string& key, double value, int decimals) {
    std::printf("%s=%.*f\n", key.c_str(), decimals, value);
    std::fflush(stdout);
}

void putText(const std::string& key, const std::string& value) {
    std::printf("%s=%s\n", key.c_str(), value.c_str());
    std::fflush(stdout);
}

void note(const std::string& text) {
    std::fprintf(stderr, "  %s\n", text.c_str());
}

bool fail(const std::string& text) {
    std::fprintf(stderr, "talpir-bench-link: %s\n", text.c_str());
    return false;
}

bool endedWith(const Usage& usage, int status, const std::string& what) {
    if (usage.exited && usage.status == status) {
        return true;
    }
    return fail(what + (usage.exited ? " ended with status " + std::to_string(usage.status)
                                     : std::string(" did not end and was killed")));
}

namespace {

// Medians of Google Benchmark's repetitions (or its single runs), in bytes a second.
std::map<std::string, double> readerRates(const QJsonDocument& json) {
    std::map<std::string, double> rates;
    for (const QJsonValue& entry : json.object()[QStringLiteral("benchmarks")].toArray()) {
        const QJsonObject b = entry.toObject();
        const bool aggregate = b[QStringLiteral("run_type")].toString() == "aggregate";
        if (aggregate && b[QStringLiteral("aggregate_name")].toString() != "median") {
            continue;
        }
        const std::string name = b[QStringLiteral("run_name")].toString().toStdString();
        if (aggregate || rates.count(name) == 0) {
            rates[name] = b[QStringLiteral("bytes_per_second")].toDouble();
        }
    }
    return rates;
}

bool reportReader(const char* jsonPath) {
    QFile file(QString::fromLocal8Bit(jsonPath));
    if (!file.open(QIODevice::ReadOnly)) {
        return fail(std::string("cannot read ") + jsonPath);
    }
    const std::map<std::string, double> rates =
        readerRates(QJsonDocument::fromJson(file.readAll()));
    for (const char* name :
         {"readUpdateFile", "fscanfFile", "parseUpdateText", "fscanfStream", "sscanfPerLine"}) {
        if (rates.count(name) == 0 || rates.at(name) <= 0) {
            return fail(std::string("no figure for ") + name + " in " + jsonPath);
        }
    }
    auto mb = [&rates](const char* name) { return rates.at(name) / kBytesPerMB; };
    putResult("reader_file_MBps", mb("readUpdateFile"), 1);
    putResult("reader_fscanf_file_MBps", mb("fscanfFile"), 1);
    putResult("reader_file_ratio", mb("readUpdateFile") / mb("fscanfFile"), 1);
    putResult("reader_mem_MBps", mb("parseUpdateText"), 1);
    putResult("reader_fscanf_mem_MBps", mb("fscanfStream"), 1);
    putResult("reader_sscanf_mem_MBps", mb("sscanfPerLine"), 1);
    putResult("reader_mem_ratio", mb("parseUpdateText") / mb("fscanfStream"), 1);
    putResult("reader_mem_sscanf_ratio", mb("parseUpdateText") / mb("sscanfPerLine"), 1);
    return true;
}

bool parseContext(int argc, char** argv, Context& context) {
    for (int i = 2; i + 1 < argc; i += 2) {
        const std::string_view option = argv[i];
        if (option == "--build") {
            context.buildDir = argv[i + 1];
        } else if (option == "--work") {
            context.workDir = argv[i + 1];
        } else if (option == "--runs") {
            context.runs = std::max(1, std::atoi(argv[i + 1]));
        } else {
            return false;
        }
    }
    return !context.buildDir.empty() && !context.workDir.empty();
}

int usage() {
    std::fputs(
        "Usage: talpir-bench-link line|unpaced|stop|window|window-stop|size --build DIR --work DIR "
        "[--runs N]\n       talpir-bench-link reader FILE.json\n",
        stderr);
    return 1;
}

}  // namespace

}  // namespace talpir::bench

int main(int argc, char** argv) {
    using namespace talpir::bench;
    if (argc < 2) {
        return usage();
    }
    const std::string_view command = argv[1];
    if (command == "reader") {
        return argc == 3 && reportReader(argv[2]) ? 0 : 1;
    }
    Context context;
    if (!parseContext(argc, argv, context)) {
        return usage();
    }
    const std::map<std::string_view, bool (*)(const Context&)> measurements = {
        {"line", measureLine},     {"unpaced", measureUnpaced},        {"stop", measureStop},
        {"window", measureWindow}, {"window-stop", measureWindowStop}, {"size", measureSize},
    };
    const auto found = measurements.find(command);
    if (found == measurements.end()) {
        return usage();
    }
    return found->second(context) ? 0 : 1;
}
