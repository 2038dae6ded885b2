#include <curl/curl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "platform/foundation/Log.h"
#include "platform/net/FTPWriteStream.h"
#include "platform/net/FileReadStream.h"
#include "plugin/framework/Classes/VEXAFTPService.h"
#include "tests/support/CaseName.h"
#include "tests/support/FtpServer.h"

using namespace platform;
using namespace std::chrono_literals;
using testsupport::FtpServer;
using testsupport::runMainLoopUntil;
using testsupport::seededBytes;

namespace {

// Wraps a real network stream: takes at most `maxPerWrite` bytes per write, and can be told to
// fail (-1) or to take nothing (0) from the n-th write on.
class ThrottledStream : public OutputStream, public StreamDelegate {
public:
    explicit ThrottledStream(std::shared_ptr<OutputStream> inner) : inner(std::move(inner)) {
        this->inner->setDelegate(this);
    }
    ~ThrottledStream() override { inner->setDelegate(nullptr); }

    void open() override { inner->open(); }
    void close() override { inner->close(); }
    StreamStatus streamStatus() const override { return inner->streamStatus(); }
    std::optional<Error> streamError() const override { return inner->streamError(); }
    bool setProperty(const Value& value, std::string_view key) override {
        return inner->setProperty(value, key);
    }
    void scheduleInRunLoop(RunLoop& loop, RunLoopMode mode) override { inner->scheduleInRunLoop(loop, mode); }
    void removeFromRunLoop(RunLoop& loop, RunLoopMode mode) override { inner->removeFromRunLoop(loop, mode); }
    bool hasSpaceAvailable() const override { return inner->hasSpaceAvailable(); }

    int64_t write(const uint8_t* buffer, size_t maxLength) override {
        ++writes;
        if (failFromWrite && writes >= *failFromWrite) return -1;
        if (zeroFromWrite && writes >= *zeroFromWrite) return 0;
        int64_t n = inner->write(buffer, std::min(maxLength, maxPerWrite));
        if (n > 0 && static_cast<size_t>(n) < maxLength) ++shortWrites;
        return n;
    }

    void streamHandleEvent(Stream&, StreamEvent event) override { notify(event); }

    std::shared_ptr<OutputStream> inner;
    size_t maxPerWrite = SIZE_MAX;
    std::optional<int> failFromWrite;
    std::optional<int> zeroFromWrite;
    int writes = 0;
    int shortWrites = 0;
};

// Wraps a real file stream and fails the n-th read.
class FailingFileStream : public InputStream {
public:
    FailingFileStream(std::shared_ptr<InputStream> inner, int failingRead)
        : inner(std::move(inner)), failingRead(failingRead) {}
    void open() override { inner->open(); }
    void close() override { inner->close(); }
    StreamStatus streamStatus() const override { return inner->streamStatus(); }
    std::optional<Error> streamError() const override { return inner->streamError(); }
    std::optional<uint64_t> expectedLength() const override { return inner->expectedLength(); }
    int64_t read(uint8_t* buffer, size_t maxLength) override {
        return ++reads == failingRead ? -1 : inner->read(buffer, maxLength);
    }
    std::shared_ptr<InputStream> inner;
    int failingRead;
    int reads = 0;
};

// The service with its stream factories and event handling open to the test.
class TestService : public KOPAFTPService {
public:
    using KOPAFTPService::KOPAFTPService;

    std::function<std::shared_ptr<OutputStream>(std::shared_ptr<OutputStream>)> wrapNetwork;
    std::function<std::shared_ptr<InputStream>(std::shared_ptr<InputStream>)> wrapFile;
    std::function<void(StreamEvent)> afterEvent;
    int events = 0;

    void streamHandleEvent(Stream& stream, StreamEvent event) override {
        ++events;
        KOPAFTPService::streamHandleEvent(stream, event);
        if (afterEvent) afterEvent(event);
    }

protected:
    std::shared_ptr<InputStream> makeFileStream(const std::string& path) override {
        auto stream = KOPAFTPService::makeFileStream(path);
        return wrapFile && stream ? wrapFile(stream) : stream;
    }
    std::shared_ptr<OutputStream> makeNetworkStream(const std::string& url) override {
        auto stream = KOPAFTPService::makeNetworkStream(url);
        return wrapNetwork && stream ? wrapNetwork(stream) : stream;
    }
};

// Every completion call, with what the service looked like when it came.
struct Outcomes {
    struct Call {
        std::optional<Error> error;
        bool busyDuringCall;
        bool streamsDuringCall;
    };
    std::vector<Call> calls;

    KOPAFTPService::Completion recorder(const std::shared_ptr<KOPAFTPService>& service) {
        std::weak_ptr<KOPAFTPService> weak = service;
        return [this, weak](const std::optional<Error>& error) {
            auto s = weak.lock();
            calls.push_back({error, s && s->busy(), s && (s->networkStream() || s->fileStream())});
        };
    }
    size_t count() const { return calls.size(); }
    const std::optional<Error>& error() const { return calls.at(0).error; }
};

void expectServiceError(const std::optional<Error>& error, const std::string& message) {
    ASSERT_TRUE(error.has_value()) << "expected \"" << message << "\", got success";
    EXPECT_EQ(error->domain(), "VEXAFTPService");
    EXPECT_EQ(error->code(), 0);
    EXPECT_EQ(error->localizedDescription(), message);
}

class FTPServiceTest : public testsupport::FtpServerTest {
protected:
    std::shared_ptr<TestService> makeService(std::optional<std::string> baseURL = std::nullopt,
                                             std::string user = FtpServer::kUser,
                                             std::string password = FtpServer::kPassword) {
        return std::make_shared<TestService>(user, password, baseURL ? baseURL : server.url());
    }
    std::string source(const std::string& name, const std::string& contents) {
        files.write(name, contents);
        return (files / name).string();
    }
    static void expectIdle(const KOPAFTPService& service) {
        EXPECT_FALSE(service.busy());
        EXPECT_FALSE(service.networkStream());
        EXPECT_FALSE(service.fileStream());
    }

    testsupport::TempDir files;
    Outcomes outcomes;
};

struct SizeCase {
    const char* name;
    size_t size;
};

// ctest names parameterised tests after the printed parameter; the case name keeps them stable
// (the default print of a struct shows its bytes, a pointer among them).
void PrintTo(const SizeCase& c, std::ostream* os) {
    *os << c.name;
}

class FTPServiceSizeTest : public FTPServiceTest, public ::testing::WithParamInterface<SizeCase> {};

TEST_P(FTPServiceSizeTest, UploadsTheFileByteForByte) {
    auto service = makeService();
    std::string data = seededBytes(GetParam().size, 42);
    service->put(source("payload.bin", data), "stored.bin", outcomes.recorder(service));
    EXPECT_TRUE(service->busy());
    ASSERT_TRUE(runMainLoopUntil([&] { return outcomes.count() > 0; }));

    ASSERT_EQ(outcomes.count(), 1u);
    EXPECT_EQ(outcomes.error(), std::nullopt) << outcomes.error()->localizedDescription();
    EXPECT_FALSE(outcomes.calls[0].busyDuringCall) << "busy is cleared before the completion runs";
    EXPECT_FALSE(outcomes.calls[0].streamsDuringCall);
    expectIdle(*service);
    auto stored = server.readFile("stored.bin");
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->size(), data.size());
    EXPECT_TRUE(*stored == data) << "stored bytes differ";
    // Nothing else happens later.
    RunLoop::main().dispatchAsync([] {});
    RunLoop::main().runPending();
    EXPECT_EQ(outcomes.count(), 1u);
}

INSTANTIATE_TEST_SUITE_P(Sizes, FTPServiceSizeTest,
                         ::testing::Values(SizeCase{"Empty", 0}, SizeCase{"OneByte", 1},
                                           SizeCase{"OneLessThanTheBuffer", 32767},
                                           SizeCase{"ExactlyTheBuffer", 32768},
                                           SizeCase{"OneMoreThanTheBuffer", 32769},
                                           SizeCase{"FiveMegabytes", 5 * 1024 * 1024 + 3}),
                         testsupport::CaseName());

TEST_F(FTPServiceTest, WithoutTargetNameTheFileIsNamedAfterTheSource) {
    struct Case {
        std::string sourceName;
        std::optional<std::string> target;
        std::string storedAs;
    };
    const Case cases[] = {
        {"report 2024.txt", std::nullopt, "report 2024.txt"},
        {"sub/notes.txt", std::nullopt, "notes.txt"},
        {"plain.txt", std::string("renamed #1.txt"), "renamed #1.txt"},
    };
    auto service = makeService();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.sourceName);
        Outcomes local;
        std::string contents = "contents of " + c.sourceName;
        service->put(source(c.sourceName, contents), c.target, local.recorder(service));
        ASSERT_TRUE(runMainLoopUntil([&] { return local.count() > 0; }));
        EXPECT_EQ(local.error(), std::nullopt);
        EXPECT_EQ(server.readFile(c.storedAs), contents);
    }
}

TEST_F(FTPServiceTest, EveryEarlyFailureCallsTheCompletionOnceAndLeavesTheServiceIdle) {
    std::string file = source("file.txt", "some bytes");
    struct Case {
        const char* message;
        std::optional<std::string> baseURL;  // "" here means: none at all
        std::optional<std::string> sourceFile;
        std::optional<std::string> target;
        std::string user;
    };
    const std::string dir = files.path().string();
    const std::string url = server.url();
    const Case cases[] = {
        {"Base URL is nil!", "", file, std::nullopt, FtpServer::kUser},
        {"Source file must not be nil!", url, std::nullopt, std::nullopt, FtpServer::kUser},
        {"Source file does not exist!", url, dir + "/missing.txt", std::nullopt, FtpServer::kUser},
        {"Source file does not exist!", url, std::string(), std::nullopt, FtpServer::kUser},
        {"Target URL is invalid!", url, file, std::string(), FtpServer::kUser},
        {"Target URL is invalid!", url, file, std::string("../escape.txt"), FtpServer::kUser},
        {"Target URL is invalid!", url, file, std::string("a\r\nDELE b"), FtpServer::kUser},
        {"Target URL is invalid!", std::string("no scheme here"), file, std::nullopt, FtpServer::kUser},
        {"Could not open file stream!", url, dir, std::string("dir.bin"), FtpServer::kUser},
        {"Could not create network stream!", std::string("http://127.0.0.1/"), file, std::nullopt,
         FtpServer::kUser},
        {"Could not setup network stream!", url, file, std::nullopt, "zandrel\r\nDELE file.txt"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        auto base = c.baseURL && c.baseURL->empty() ? std::nullopt : c.baseURL;
        auto service = std::make_shared<TestService>(c.user, FtpServer::kPassword, base);
        Outcomes local;
        service->put(c.sourceFile, c.target, local.recorder(service));
        ASSERT_EQ(local.count(), 1u) << "the completion runs before put() returns";
        expectServiceError(local.error(), c.message);
        EXPECT_FALSE(local.calls[0].busyDuringCall);
        expectIdle(*service);
        RunLoop::main().runPending();
        EXPECT_EQ(local.count(), 1u);
    }
    EXPECT_TRUE(std::filesystem::is_empty(server.root())) << "nothing reached the server";
}

TEST_F(FTPServiceTest, WrongPasswordIsReportedOnceWithTheStreamError) {
    auto service = makeService(std::nullopt, FtpServer::kUser, "wrong");
    service->put(source("a.txt", "abc"), std::nullopt, outcomes.recorder(service));
    ASSERT_TRUE(runMainLoopUntil([&] { return outcomes.count() > 0; }));
    RunLoop::main().runPending();
    ASSERT_EQ(outcomes.count(), 1u);
    ASSERT_TRUE(outcomes.error());
    EXPECT_EQ(outcomes.error()->domain(), FTPWriteStream::kErrorDomain);
    EXPECT_EQ(outcomes.error()->code(), CURLE_LOGIN_DENIED);
    expectIdle(*service);
    EXPECT_FALSE(server.readFile("a.txt"));
}

TEST_F(FTPServiceTest, SecondRequestWhileBusyIsRefusedToItsCallerOnly) {
    auto service = makeService();
    std::string data = seededBytes(2'000'000, 5);
    service->put(source("first.bin", data), std::nullopt, outcomes.recorder(service));
    auto streamBefore = service->networkStream();

    Outcomes second;
    service->put(source("second.bin", "second"), std::nullopt, second.recorder(service));
    ASSERT_EQ(second.count(), 1u);
    expectServiceError(second.error(), "Waiting for another process to finish!");
    EXPECT_TRUE(second.calls[0].busyDuringCall) << "the first upload is untouched";
    EXPECT_EQ(outcomes.count(), 0u);
    EXPECT_TRUE(service->busy());
    EXPECT_EQ(service->networkStream(), streamBefore);

    ASSERT_TRUE(runMainLoopUntil([&] { return outcomes.count() > 0; }));
    ASSERT_EQ(outcomes.count(), 1u);
    EXPECT_EQ(outcomes.error(), std::nullopt);
    EXPECT_EQ(second.count(), 1u);
    EXPECT_TRUE(server.readFile("first.bin") == data);
    EXPECT_FALSE(server.readFile("second.bin"));
}

TEST_F(FTPServiceTest, ServerDyingMidTransferEndsTheUploadWithAnError) {
    auto service = makeService();
    service->put(source("big.bin", seededBytes(32 * 1024 * 1024, 9)), std::nullopt,
                 outcomes.recorder(service));
    auto file = std::dynamic_pointer_cast<FileReadStream>(service->fileStream());
    ASSERT_TRUE(file);
    ASSERT_TRUE(runMainLoopUntil([&] { return file->bytesRead() > 1'000'000 || outcomes.count() > 0; }));
    ASSERT_EQ(outcomes.count(), 0u);
    server.kill();
    ASSERT_TRUE(runMainLoopUntil([&] { return outcomes.count() > 0; }));
    RunLoop::main().runPending();
    ASSERT_EQ(outcomes.count(), 1u);
    ASSERT_TRUE(outcomes.error());
    EXPECT_EQ(outcomes.error()->domain(), FTPWriteStream::kErrorDomain);
    expectIdle(*service);
}

TEST_F(FTPServiceTest, StreamTakingFewerBytesThanOfferedGetsTheRestLater) {
    auto service = makeService();
    std::shared_ptr<ThrottledStream> throttled;
    service->wrapNetwork = [&](std::shared_ptr<OutputStream> inner) {
        throttled = std::make_shared<ThrottledStream>(inner);
        throttled->maxPerWrite = 1000;
        return throttled;
    };
    bool sawPartlySentBuffer = false;
    service->afterEvent = [&](StreamEvent) {
        if (service->bufferOffset() > 0 && service->bufferOffset() < service->bufferLimit())
            sawPartlySentBuffer = true;
    };
    std::string data = seededBytes(100'000, 17);
    service->put(source("slow.bin", data), std::nullopt, outcomes.recorder(service));
    ASSERT_TRUE(runMainLoopUntil([&] { return outcomes.count() > 0; }));
    ASSERT_EQ(outcomes.count(), 1u);
    EXPECT_EQ(outcomes.error(), std::nullopt);
    EXPECT_TRUE(server.readFile("slow.bin") == data);
    EXPECT_GT(throttled->shortWrites, 90);
    EXPECT_TRUE(sawPartlySentBuffer);
}

TEST_F(FTPServiceTest, BytesLeftByAStoppedUploadNeverReachTheNextOne) {
    auto service = makeService();
    service->wrapNetwork = [&](std::shared_ptr<OutputStream> inner) {
        auto throttled = std::make_shared<ThrottledStream>(inner);
        throttled->maxPerWrite = 1000;
        throttled->failFromWrite = 4;
        return throttled;
    };
    std::string first(100'000, 'A');
    service->put(source("first.bin", first), std::nullopt, outcomes.recorder(service));
    ASSERT_TRUE(runMainLoopUntil([&] { return outcomes.count() > 0; }));
    expectServiceError(outcomes.error(), "Network write error");
    ASSERT_LT(service->bufferOffset(), service->bufferLimit()) << "the stop left unsent bytes behind";

    service->wrapNetwork = nullptr;
    Outcomes next;
    std::string second = seededBytes(50'000, 23);
    std::replace(second.begin(), second.end(), 'A', 'b');  // so any 'A' stored is stale
    service->put(source("second.bin", second), std::nullopt, next.recorder(service));
    ASSERT_TRUE(runMainLoopUntil([&] { return next.count() > 0; }));
    EXPECT_EQ(next.error(), std::nullopt);
    auto stored = server.readFile("second.bin");
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->find('A'), std::string::npos);
    EXPECT_TRUE(*stored == second);
}

TEST_F(FTPServiceTest, ReadErrorDuringTheUploadIsReported) {
    auto service = makeService();
    service->wrapFile = [](std::shared_ptr<InputStream> inner) {
        return std::make_shared<FailingFileStream>(inner, 3);
    };
    service->put(source("unreadable.bin", seededBytes(200'000, 1)), std::nullopt, outcomes.recorder(service));
    ASSERT_TRUE(runMainLoopUntil([&] { return outcomes.count() > 0; }));
    RunLoop::main().runPending();
    ASSERT_EQ(outcomes.count(), 1u);
    expectServiceError(outcomes.error(), "File read error!");
    expectIdle(*service);
}

TEST_F(FTPServiceTest, SourceThatShrinksDuringTheUploadIsNoSuccess) {
    auto service = makeService();
    std::string path = source("shrinking.bin", seededBytes(1'000'000, 2));
    bool truncated = false;
    service->afterEvent = [&](StreamEvent e) {
        if (e == StreamEvent::HasSpaceAvailable && !truncated) {
            std::filesystem::resize_file(path, 40'000);
            truncated = true;
        }
    };
    service->put(path, std::nullopt, outcomes.recorder(service));
    ASSERT_TRUE(runMainLoopUntil([&] { return outcomes.count() > 0; }));
    ASSERT_EQ(outcomes.count(), 1u);
    ASSERT_TRUE(outcomes.error()) << "a short file must not be reported as uploaded";
    EXPECT_EQ(outcomes.error()->code(), CURLE_PARTIAL_FILE);
    expectIdle(*service);
}

TEST_F(FTPServiceTest, UploadPausesWhileAModalLoopRuns) {
    auto service = makeService();
    std::string data = seededBytes(8 * 1024 * 1024, 4);
    service->put(source("modal.bin", data), std::nullopt, outcomes.recorder(service));
    ASSERT_TRUE(runMainLoopUntil([&] { return service->events > 3 || outcomes.count() > 0; }));
    ASSERT_EQ(outcomes.count(), 0u);

    int eventsBefore = service->events;
    bool dialogClosed = false;
    RunLoop::main().scheduleTimer(
        500ms, false, [&] { dialogClosed = true; }, kModalMode);
    ASSERT_TRUE(runMainLoopUntil([&] { return dialogClosed; }, 10s, RunLoopMode::Modal));
    EXPECT_EQ(service->events, eventsBefore) << "no stream events while the modal loop runs";
    EXPECT_EQ(outcomes.count(), 0u);
    EXPECT_TRUE(service->busy());

    ASSERT_TRUE(runMainLoopUntil([&] { return outcomes.count() > 0; }));
    EXPECT_EQ(outcomes.error(), std::nullopt);
    EXPECT_TRUE(server.readFile("modal.bin") == data);
}

TEST_F(FTPServiceTest, CompletionMayStartTheNextUploadAtOnce) {
    auto service = makeService();
    std::string second = seededBytes(70'000, 8);
    std::string secondPath = source("second.bin", second);
    Outcomes next;
    service->put(source("first.bin", "first"), std::nullopt, [&](const std::optional<Error>& error) {
        outcomes.calls.push_back({error, service->busy(), false});
        service->put(secondPath, std::nullopt, next.recorder(service));
        EXPECT_TRUE(service->busy());
    });
    ASSERT_TRUE(runMainLoopUntil([&] { return next.count() > 0; }));
    RunLoop::main().runPending();
    ASSERT_EQ(outcomes.count(), 1u);
    EXPECT_EQ(outcomes.error(), std::nullopt);
    ASSERT_EQ(next.count(), 1u);
    EXPECT_EQ(next.error(), std::nullopt);
    EXPECT_EQ(server.readFile("first.bin"), "first");
    EXPECT_TRUE(server.readFile("second.bin") == second);
}

TEST_F(FTPServiceTest, ServiceReleasedByItsCallerStillReportsTheOutcome) {
    auto service = makeService();
    std::weak_ptr<KOPAFTPService> weak = service;
    bool called = false;
    std::optional<Error> result = Error{"unset", 1, "", ""};
    service->put(source("orphan.bin", "orphaned upload"), std::nullopt,
                 [&](const std::optional<Error>& error) {
                     called = true;
                     result = error;
                 });
    service.reset();
    EXPECT_FALSE(weak.expired());
    ASSERT_TRUE(runMainLoopUntil([&] { return called; }));
    EXPECT_EQ(result, std::nullopt);
    EXPECT_TRUE(weak.expired());
    EXPECT_EQ(server.readFile("orphan.bin"), "orphaned upload");
}

TEST_F(FTPServiceTest, StopsWithNoUploadUnderWayReportNothing) {
    auto fresh = std::make_shared<KOPAFTPService>("u", "p", std::nullopt);
    fresh->stopCurrentProcessWithErrorMessage("never seen");
    EXPECT_FALSE(fresh->busy());

    auto service = std::make_shared<KOPAFTPService>("u", "p", std::nullopt);
    service->put(source("x.txt", "x"), std::nullopt, outcomes.recorder(service));
    ASSERT_EQ(outcomes.count(), 1u);
    // The stored completion belongs to a finished request: it is not called a second time.
    EXPECT_FALSE(service->checkConfiguration());
    service->stopCurrentProcessWithError(std::nullopt);
    EXPECT_EQ(outcomes.count(), 1u);
    EXPECT_TRUE(service->completion()) << "the completion stays stored until the next request";
}

TEST_F(FTPServiceTest, StopAfterASuccessfulUploadDoesNotReportItAgain) {
    auto service = makeService();
    service->put(source("done.bin", seededBytes(1000, 9)), std::nullopt, outcomes.recorder(service));
    ASSERT_TRUE(runMainLoopUntil([&] { return outcomes.count() > 0; }));
    ASSERT_EQ(outcomes.count(), 1u);
    EXPECT_FALSE(outcomes.error()) << outcomes.error()->description();
    service->stopCurrentProcessWithErrorMessage("Cancelled by the user!");
    service->stopCurrentProcessWithError(std::nullopt);
    EXPECT_EQ(outcomes.count(), 1u) << "the finished upload keeps its one outcome";
    expectIdle(*service);
    EXPECT_EQ(server.readFile("done.bin"), seededBytes(1000, 9));
}

TEST_F(FTPServiceTest, ServiceStopsAnUploadOnRequest) {
    auto service = makeService();
    service->put(source("cancelled.bin", seededBytes(16 * 1024 * 1024, 6)), std::nullopt,
                 outcomes.recorder(service));
    ASSERT_TRUE(runMainLoopUntil([&] { return service->events > 2; }));
    service->stopCurrentProcessWithErrorMessage("Cancelled by the user!");
    ASSERT_EQ(outcomes.count(), 1u);
    expectServiceError(outcomes.error(), "Cancelled by the user!");
    expectIdle(*service);
}

TEST(FTPServiceFieldsTest, BufferBoundsKeepTheirInvariant) {
    KOPAFTPService service("u", "p", "ftp://127.0.0.1/");
    EXPECT_EQ(service.userName(), "u");
    EXPECT_EQ(service.password(), "p");
    EXPECT_EQ(service.baseURL(), "ftp://127.0.0.1/");
    EXPECT_EQ(service.bufferOffset(), 0u);
    EXPECT_EQ(service.bufferLimit(), 0u);
    EXPECT_FALSE(service.busy());
    struct Step {
        bool limit;  // else offset
        uint64_t value;
        bool accepted;
    };
    const Step steps[] = {{true, 32769, false}, {true, 32768, true}, {false, 32768, true},
                          {true, 100, false},   {false, 10, true},   {true, 10, true},
                          {true, 9, false},     {false, 11, false}};
    for (const auto& s : steps)
        EXPECT_EQ(s.limit ? service.setBufferLimit(s.value) : service.setBufferOffset(s.value), s.accepted)
            << (s.limit ? "limit " : "offset ") << s.value;
    EXPECT_EQ(service.bufferOffset(), 10u);
    EXPECT_EQ(service.bufferLimit(), 10u);
}

TEST(FTPServiceStatusTest, UpdateStatusWritesAPlainLogLine) {
    std::vector<std::string> lines;
    auto previous = Log::setSink([&](std::string_view text) { lines.emplace_back(text); });
    KOPAFTPService service("u", "p", std::nullopt);
    service.updateStatus(std::string("Uploading 3 of 7"));
    Log::setSink(previous);
    EXPECT_EQ(lines, std::vector<std::string>{"Status: Uploading 3 of 7"});
}

TEST(FTPServiceDeathTest, ImpossibleStatesFailTheirAssertions) {
    KOPAFTPService service("u", "p", std::nullopt);
    EXPECT_DEATH(service.updateStatus(std::nullopt), "message");
    auto stream = FileReadStream::create("/dev/null");
    EXPECT_DEATH(service.streamHandleEvent(*stream, StreamEvent::HasBytesAvailable), "NO");
}

TEST_F(FTPServiceTest, StreamAcceptingNothingAfterSpaceFailsTheAssertion) {
    EXPECT_DEATH(
        {
            auto service = makeService();
            service->wrapNetwork = [](std::shared_ptr<OutputStream> inner) {
                auto throttled = std::make_shared<ThrottledStream>(inner);
                throttled->zeroFromWrite = 1;
                return throttled;
            };
            service->put(source("zero.bin", "abc"), std::nullopt, [](const std::optional<Error>&) {});
            runMainLoopUntil([] { return false; }, 20s);
        },
        "bytesWritten != 0");
}

}  // namespace
