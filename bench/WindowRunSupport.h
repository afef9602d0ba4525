#pragma once
// What the benchmarks of the main window's check run share: a scratch
// program folder with a word list of a hundred rules (so that the verdicts
// do real work), a shown window with one account, one whole check run, and
// the process's processor time.
#include "app/fmMain.h"
#include "app/udmMessageHeader.h"
#include "ui/Application.h"
#include "ui/Paths.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QListWidgetItem>

#include <sys/resource.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>

namespace bench {


inline std::string& scratchFolder() {
    static std::string folder;
    return folder;
}

// A hundred rules: the disguised words of the generator's spam (which
// match) and invented ones (which do not), both kinds and both markers.
inline std::string filterFile() {
    std::string text;
    int rules = 0;
    for (const char* word : {"viagra", "casino", "free m0ney", "rol3x", "w!nner", "ch3ap"}) {
        text += "Subject: %" + std::string(word) + "\r\n";
        text += "Address: %" + std::string(word) + "\r\n";
        rules += 2;
    }
    for (int i = 0; rules < 100; ++i, ++rules) {
        std::string word = "qz" + std::to_string(i * 7919 % 100003) + "offer";
        text += (i % 4 == 0 ? "Address: " : "Subject: ") + std::string(i % 3 == 0 ? "=" : "%") + word + "\r\n";
    }
    return text;
}

inline bool makeScratchFolder() {
    char name[] = "/tmp/skimlet-checkrun-bench-XXXXXX";
    if (!mkdtemp(name)) return false;
    scratchFolder() = name;
    std::ofstream(scratchFolder() + "/filters.dat", std::ios::binary) << filterFile();
    ui::setProgramFolder(scratchFolder());
    ui::setSettingsFolder(scratchFolder());
    return true;
}

// The records of the last run go (their connections closed without
// "QUIT"), then the scratch folder.
inline void removeScratchFolder() {
    AbandonMessageHeaders();
    std::error_code ec;
    std::filesystem::remove_all(scratchFolder(), ec);
}

// The main of a benchmark program of the window: Google Benchmark's
// options, one application (offscreen unless a platform is named), and the
// scratch folder around the run.
inline int runWindowBenchmarks(int argc, char** argv, const char* program) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    if (!platform || !*platform) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    ui::SkimletApplication application(argc, argv);
    if (!makeScratchFolder()) {
        std::cerr << program << ": cannot create a scratch folder\n";
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    removeScratchFolder();
    return 0;
}

// The general rules as a user would set them: empty subject, more than 50
// recipients, more than 2 MB.
inline void setRules(Tfmain& w) { w.SetSpamRules(true, 50, 2048); }

// The processor time of the whole process so far, in user space and in
// the kernel (where the sends and receives of loopback traffic run).
struct CpuSeconds {
    double user = 0, kernel = 0;
};
inline CpuSeconds processCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
    return {seconds(usage.ru_utime), seconds(usage.ru_stime)};
}

// A shown main window with one selected account.
inline void prepareWindow(Tfmain& w, const std::string& host, const std::string& user, const std::string& password,
                   int port) {
    w.AddAccountItem({"Bench", host, user, password, std::to_string(port)})->setSelected(true);
    setRules(w);
    w.show();
    QCoreApplication::processEvents();
}

// One check run; false (with the reason in `error`) when it failed.
inline bool checkRun(Tfmain& w, std::string& error) {
    try {
        w.CheckMessages();
        return true;
    } catch (const std::exception& e) {
        error = e.what();
        return false;
    }
}

}  // namespace bench
