// Loads the real plug-in library the way the host does, with and without the
// plug-in manager already in the process, and drives plug-ins through the real
// manager library.
#include "BusBroker.h"
#include "FaultReport.h"
#include "ModulePaths.h"
#include "PluginsManagerLibrary.h"
#include "process/UniqueHandle.h"
#include "support/ServiceHostRun.h"
#include "support/TestFiles.h"
#include "support/TextLines.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr wchar_t kPluginFile[] = L"NxReVadiruServicePlugin.dll";
const std::string kPluginName = "VLAMainService.NxReVadiruServicePlugin";
const std::string kRegistered = "manager: registered " + kPluginName;
const std::string kUnregistered = "manager: unregistered " + kPluginName;
using Lines = std::vector<std::string>;

bool ManagerIsLoaded() {
    return GetModuleHandleW(PluginsManagerLibrary::kFileName) != nullptr;
}

// A file in the temporary directory, deleted when the owner goes.
class TemporaryFile {
public:
    TemporaryFile() {
        wchar_t directory[MAX_PATH] = {};
        wchar_t path[MAX_PATH] = {};
        if (GetTempPathW(MAX_PATH, directory) != 0 &&
            GetTempFileNameW(directory, L"nx", 0, path) != 0) {
            path_ = path;
        }
    }
    ~TemporaryFile() {
        if (!path_.empty()) {
            DeleteFileW(path_.c_str());
        }
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    const std::wstring& Path() const { return path_; }
    std::string Read() const {
        const UniqueHandle file(CreateFileW(path_.c_str(), GENERIC_READ,
                                            FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        std::string text;
        char buffer[4096];
        DWORD read = 0;
        while (file && ReadFile(file.get(), buffer, sizeof buffer, &read, nullptr) && read > 0) {
            text.append(buffer, read);
        }
        return text;
    }

private:
    std::wstring path_;
};

// Points the process's standard output handle at a file for the lifetime of
// the object: a manager without a log sink writes its lines there.
class StandardOutputCapture {
public:
    StandardOutputCapture()
        : previous_(GetStdHandle(STD_OUTPUT_HANDLE)),
          file_(CreateFileW(path_.Path().c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                            CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr)) {
        SetStdHandle(STD_OUTPUT_HANDLE, file_.get());
    }
    ~StandardOutputCapture() { SetStdHandle(STD_OUTPUT_HANDLE, previous_); }
    StandardOutputCapture(const StandardOutputCapture&) = delete;
    StandardOutputCapture& operator=(const StandardOutputCapture&) = delete;

    bool IsReady() const { return static_cast<bool>(file_); }
    Lines Captured() const { return SplitLines(path_.Read()); }

private:
    HANDLE previous_;
    TemporaryFile path_;
    UniqueHandle file_;
};

// A fault on a thread the plug-in left behind ends this program visibly, as it
// would end a host process on Windows (see FaultReport.h).
class UnhandledFaultsEndTheProgram : public ::testing::Environment {
public:
    void SetUp() override { ReportUnhandledFaults(); }
};

[[maybe_unused]] ::testing::Environment* const unhandledFaults =
    ::testing::AddGlobalTestEnvironment(new UnhandledFaultsEndTheProgram);

// The manager's lines, gathered through its log sink.
class ManagerLog {
public:
    static void Sink(const char* line) {
        std::lock_guard<std::mutex> lock(mutex_);
        lines_.emplace_back(line);
    }
    static Lines Take() {
        std::lock_guard<std::mutex> lock(mutex_);
        return std::exchange(lines_, {});
    }

private:
    static inline std::mutex mutex_;
    static inline Lines lines_;
};

// The host's order: the manager is in the process before any plug-in library.
class ManagerLoadedFirst : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(ManagerIsLoaded());
        manager_ = PluginsManagerLibrary::Load();
        ASSERT_TRUE(manager_.has_value()) << "error " << GetLastError();
        manager_->SetLogSink(&ManagerLog::Sink);
        ManagerLog::Take();
    }
    void TearDown() override {
        if (manager_) {
            manager_->SetLogSink(nullptr);
            manager_->Unload();
        }
        // Nothing but this fixture held a reference to the manager.
        EXPECT_FALSE(ManagerIsLoaded());
    }

    std::optional<PluginsManagerLibrary> manager_;
};

TEST_F(ManagerLoadedFirst, PluginRegistersWithTheLoadedManagerAndTakesItsTableBack) {
    UniqueModule plugin = LoadBesideExecutable(kPluginFile);
    ASSERT_TRUE(plugin) << "error " << GetLastError();
    EXPECT_EQ(manager_->PluginNames(), Lines{kPluginName});
    EXPECT_EQ(ManagerLog::Take(), Lines{kRegistered});
    EXPECT_TRUE(ManagerIsLoaded());

    plugin.reset();
    EXPECT_EQ(manager_->PluginNames(), Lines{});
    EXPECT_EQ(ManagerLog::Take(), Lines{kUnregistered});
}

TEST_F(ManagerLoadedFirst, PluginExportsTheModuleProtocol) {
    const UniqueModule plugin = LoadBesideExecutable(kPluginFile);
    ASSERT_TRUE(plugin);
    const auto initialize = plugin.Export<bool (*)()>("InitializePluginModule");
    const auto uninitialize = plugin.Export<void (*)()>("UninitializePluginModule");
    ASSERT_NE(initialize, nullptr);
    ASSERT_NE(uninitialize, nullptr);
    EXPECT_TRUE(initialize());
    uninitialize();
    EXPECT_TRUE(initialize());
}

TEST_F(ManagerLoadedFirst, ManagerStartsAndStopsTheRealPluginOnTheBus) {
    // The plug-in connects to the host's fixed pipe; the Wine prefix is private
    // to the build, so nothing else owns it.
    BusBroker broker(L"\\\\.\\Pipe\\iVellumAssistant");
    ASSERT_TRUE(broker.Start());
    TemporaryFile pluginLog;
    ASSERT_FALSE(pluginLog.Path().empty());
    ASSERT_TRUE(SetEnvironmentVariableW(L"NX_LOG_FILE", pluginLog.Path().c_str()));
    UniqueModule plugin = LoadBesideExecutable(kPluginFile);
    ASSERT_TRUE(plugin);

    EXPECT_EQ(manager_->StartPlugins(), 1u);
    manager_->StopPlugins();
    plugin.reset();
    // The plug-in's threads may hold the library for a moment; none may run
    // its code once it is gone: one left behind faults, and ends the
    // program, when it wakes up.
    constexpr DWORD kUnloadTimeoutMs = 5000;
    constexpr DWORD kStrayThreadGraceMs = 1000;
    EXPECT_TRUE(WaitUntilUnloaded(kPluginFile, kUnloadTimeoutMs));
    Sleep(kStrayThreadGraceMs);
    broker.Stop();
    SetEnvironmentVariableW(L"NX_LOG_FILE", nullptr);

    EXPECT_EQ(ManagerLog::Take(), (Lines{kRegistered, "manager: started " + kPluginName,
                                         "manager: stopped " + kPluginName, kUnregistered}));
    // The plug-in's start-up checks log through the host's logger.
    EXPECT_NE(pluginLog.Read().find("(NxReVadiruService::Impl::"), std::string::npos);
}

TEST(PluginWithoutManager, LoadsTheManagerOnlyForEachHandOver) {
    ASSERT_FALSE(ManagerIsLoaded());
    UniqueModule plugin;
    {
        const StandardOutputCapture output;
        ASSERT_TRUE(output.IsReady());
        plugin = LoadBesideExecutable(kPluginFile);
        EXPECT_EQ(output.Captured(), Lines{kRegistered});
    }
    ASSERT_TRUE(plugin) << "error " << GetLastError();
    EXPECT_FALSE(ManagerIsLoaded());

    // The manager loaded at detach is a fresh copy that never saw the table.
    const StandardOutputCapture output;
    plugin.reset();
    EXPECT_EQ(output.Captured(), Lines{"manager: ignored the unregistration of an unknown table"});
    EXPECT_FALSE(ManagerIsLoaded());
}

// --- the manager's own rules, with plug-ins made here ------------------------

using Journal = std::vector<std::string>;

class RecordingPlugin : public VLAPlugin {
public:
    RecordingPlugin(std::string name, bool initializes, bool starts, Journal& journal)
        : name_(std::move(name)), initializes_(initializes), starts_(starts), journal_(journal) {}
    ~RecordingPlugin() override { journal_.push_back(name_ + " destroyed"); }

    bool Initialize() override { return Record("Initialize", initializes_); }
    bool Uninitialize() override { return Record("Uninitialize", false); }
    bool Start() override { return Record("Start", starts_); }
    bool Stop() override { return Record("Stop", false); }

private:
    bool Record(const char* call, bool result) {
        journal_.push_back(name_ + " " + call);
        return result;
    }

    std::string name_;
    bool initializes_;
    bool starts_;
    Journal& journal_;
};

using Factory = std::function<std::shared_ptr<VLAPlugin>()>;

Factory Recording(const std::string& name, bool initializes, bool starts, Journal& journal) {
    return [=, &journal] {
        return std::make_shared<RecordingPlugin>(name, initializes, starts, journal);
    };
}

struct StartCase {
    const char* title;
    std::function<Factory(Journal&)> factory;
    unsigned running;
    Journal journal;  // over start and stop
    Lines lines;      // between registration and unregistration
};

class ManagerStartsPlugins : public ManagerLoadedFirst,
                             public ::testing::WithParamInterface<StartCase> {};

TEST_P(ManagerStartsPlugins, FollowsThePluginsResults) {
    const StartCase& expected = GetParam();
    Journal journal;
    const PluginRegistrationEntry table[] = {{"fake", expected.factory(journal)}, {}};
    manager_->Register(table);
    EXPECT_EQ(manager_->StartPlugins(), expected.running);
    manager_->StopPlugins();
    manager_->Unregister(table);

    EXPECT_EQ(journal, expected.journal);
    Lines lines = {"manager: registered fake"};
    lines.insert(lines.end(), expected.lines.begin(), expected.lines.end());
    lines.push_back("manager: unregistered fake");
    EXPECT_EQ(ManagerLog::Take(), lines);
}

INSTANTIATE_TEST_SUITE_P(
    Results, ManagerStartsPlugins,
    ::testing::Values(
        StartCase{
            "Runs",
            [](Journal& j) { return Recording("fake", true, true, j); },
            1,
            {"fake Initialize", "fake Start", "fake Stop", "fake Uninitialize", "fake destroyed"},
            {"manager: started fake", "manager: stopped fake"}},
        StartCase{"InitializeFails",
                  [](Journal& j) { return Recording("fake", false, true, j); },
                  0,
                  {"fake Initialize", "fake destroyed"},
                  {"manager: fake failed to initialize"}},
        StartCase{"StartFails",
                  [](Journal& j) { return Recording("fake", true, false, j); },
                  0,
                  {"fake Initialize", "fake Start", "fake Uninitialize", "fake destroyed"},
                  {"manager: fake failed to start"}},
        StartCase{"FactoryThrows",
                  [](Journal&) -> Factory {
                      return []() -> std::shared_ptr<VLAPlugin> {
                          throw std::runtime_error("out of handles");
                      };
                  },
                  0,
                  {},
                  {"manager: fake failed: out of handles"}},
        StartCase{"NoFactory",
                  [](Journal&) { return Factory(); },
                  0,
                  {},
                  {"manager: fake has no factory"}},
        StartCase{"FactoryMakesNothing",
                  [](Journal&) -> Factory { return [] { return std::shared_ptr<VLAPlugin>(); }; },
                  0,
                  {},
                  {"manager: fake made no plug-in"}}),
    [](const ::testing::TestParamInfo<StartCase>& info) { return info.param.title; });

TEST_F(ManagerLoadedFirst, TablesAreKeptInOrderUpToTheirEmptyEntry) {
    Journal journal;
    const PluginRegistrationEntry first[] = {
        {"a", Recording("a", true, true, journal)},
        {},
        {"after the end", Recording("x", true, true, journal)}};
    const PluginRegistrationEntry second[] = {{"b", Recording("b", true, true, journal)}, {}};
    manager_->Register(first);
    manager_->Register(second);
    manager_->Register(first);
    manager_->Register(nullptr);
    EXPECT_EQ(manager_->PluginNames(), (Lines{"a", "b"}));

    manager_->Unregister(first);
    EXPECT_EQ(manager_->PluginNames(), Lines{"b"});
    manager_->Unregister(second);
    EXPECT_EQ(journal, Journal{});
    EXPECT_EQ(ManagerLog::Take(),
              (Lines{"manager: registered a", "manager: registered b",
                     "manager: a is already registered", "manager: ignored an empty registration",
                     "manager: unregistered a", "manager: unregistered b"}));
}

TEST_F(ManagerLoadedFirst, EachPluginRunsOnceStopsLastStartedFirstAndIsLeftAloneAtUnload) {
    Journal journal;
    const PluginRegistrationEntry table[] = {
        {"a", Recording("a", true, true, journal)}, {"b", Recording("b", true, true, journal)}, {}};
    manager_->Register(table);
    EXPECT_EQ(manager_->StartPlugins(), 2u);
    EXPECT_EQ(manager_->StartPlugins(), 2u);
    manager_->StopPlugins();
    EXPECT_EQ(manager_->StartPlugins(), 2u);
    // A table taken back while its plug-ins run comes under the loader lock of
    // their library's unload: they are left alone, not stopped or destroyed.
    manager_->Unregister(table);
    EXPECT_EQ(manager_->StartPlugins(), 0u);

    EXPECT_EQ(journal,
              (Journal{"a Initialize", "a Start", "b Initialize", "b Start", "b Stop",
                       "b Uninitialize", "b destroyed", "a Stop", "a Uninitialize", "a destroyed",
                       "a Initialize", "a Start", "b Initialize", "b Start"}));
    EXPECT_EQ(ManagerLog::Take(),
              (Lines{"manager: registered a", "manager: registered b", "manager: started a",
                     "manager: started b", "manager: stopped b", "manager: stopped a",
                     "manager: started a", "manager: started b",
                     "manager: a still runs at its library's unload; left alone",
                     "manager: b still runs at its library's unload; left alone",
                     "manager: unregistered a", "manager: unregistered b"}));
}

// A manager may release the plug-in object when the library takes its table
// back, inside the detach notification, under the loader lock, stopped first or
// not: the unload must still return at once and leave nothing of the library
// running (unloadprobe.exe, with no bus and no helper).
class ManagerReleasesAtUnregistration : public ::testing::TestWithParam<const wchar_t*> {};

TEST_P(ManagerReleasesAtUnregistration, UnloadReturnsAndTheHostGoesOn) {
    const ScratchFile transcript(L"nx-unload-probe.txt");
    ServiceHostRun probe(GetParam(), transcript.Path(), L"unloadprobe.exe");
    ASSERT_TRUE(probe.IsStarted());
    const std::optional<DWORD> exitCode = probe.Finish();
    const std::string output = ReadFileText(transcript.Path());
    EXPECT_EQ(exitCode, std::optional<DWORD>(0)) << output;
    EXPECT_EQ(SplitLines(output), (Lines{"probe: plug-in started", "probe: FreeLibrary returned",
                                         "probe: library unloaded", "probe: host goes on"}));
}

INSTANTIATE_TEST_SUITE_P(Manager, ManagerReleasesAtUnregistration,
                         ::testing::Values(L"stop", L"release"),
                         [](const ::testing::TestParamInfo<const wchar_t*>& info) {
                             return std::wstring(info.param) == L"stop" ? "StoppedFirst"
                                                                        : "NotStopped";
                         });

}  // namespace
