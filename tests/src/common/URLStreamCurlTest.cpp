#include <gtest/gtest.h>
#include <time.h>

#include <boost/thread/thread.hpp>
#include <chrono>
#include <future>
#include <memory>
#include <string>

#include "common/URLStreamCurl.h"
#include "support/HttpServer.h"
#include "support/ScopedEnv.h"

namespace {

using std::chrono::milliseconds;
using std::chrono::steady_clock;

double ThreadCpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

// Reads a whole stream `step` bytes at a time; -2 gives "<error>".
std::string ReadAll(URLStream& stream, std::size_t step) {
    std::string out;
    std::vector<unsigned char> buffer(step);
    for (;;) {
        const long n = stream.read(buffer.data(), buffer.size());
        if (n == -1) return out;
        if (n < -1) return "<error>";
        out.append(buffer.begin(), buffer.begin() + n);
    }
}

TEST(URLStreamCurl, DeliversTheBodyInAnyReadSizeAndThenEnds) {
    TestSupport::HttpServer server;
    std::string body;
    for (int i = 0; i < 100000; ++i) body += static_cast<char>((i * 7919) % 251);
    server.Serve("/big", 200, body);

    for (const std::size_t step : {std::size_t(1), std::size_t(512), std::size_t(70000)}) {
        SCOPED_TRACE(step);
        const auto stream = CreateURLStream(server.Url("/big"));
        if (step == 1) {
            // one byte a time is slow over 100 kB: compare a prefix, then the rest in bulk
            std::string head;
            unsigned char byte = 0;
            while (head.size() < 1000) {
                const long n = stream->read(&byte, 1);
                ASSERT_GE(n, 0);
                if (n == 1) head += static_cast<char>(byte);
            }
            EXPECT_EQ(head + ReadAll(*stream, 4096), body);
        } else {
            EXPECT_EQ(ReadAll(*stream, step), body);
        }
        unsigned char byte = 0;
        EXPECT_EQ(stream->read(&byte, 1), -1);  // and stays at the end
    }
}

TEST(URLStreamCurl, FailedTransfersReadAsErrors) {
    TestSupport::HttpServer server;
    server.ServeRaw("/closed", "");
    server.ServeRaw("/truncated", "HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\nonly a part");
    const std::string cases[] = {
        server.Url("/closed"),
        server.Url("/truncated"),
        "http://127.0.0.1:1/",  // nobody listens on port 1
        "file:///nonexistent/pendrel/file",
        "gopher://127.0.0.1:" + std::to_string(server.Port()) + "/",  // scheme not used by the system
        "no scheme at all",
    };
    for (const std::string& url : cases) {
        SCOPED_TRACE(url);
        const auto stream = CreateURLStream(url);
        EXPECT_EQ(ReadAll(*stream, 512), "<error>");
    }
}

TEST(URLStreamCurl, SilentServerAnswersZeroWithoutSpinningAndInterruptEndsTheReader) {
    TestSupport::HttpServer server;
    server.ServeSilence("/silent");

    struct Outcome {
        int zeros = 0;
        double cpu = 0;
        double wall = 0;
    };
    auto outcome = std::make_shared<Outcome>();
    auto stream = std::shared_ptr<URLStream>(CreateURLStream(server.Url("/silent")));
    auto task = std::make_shared<std::packaged_task<long()>>([stream, outcome] {
        const double cpuStart = ThreadCpuSeconds();
        const auto wallStart = steady_clock::now();
        unsigned char buffer[512];
        for (;;) {
            const long n = stream->read(buffer, sizeof(buffer));
            if (n != 0) return n;
            ++outcome->zeros;
            outcome->cpu = ThreadCpuSeconds() - cpuStart;
            outcome->wall = std::chrono::duration<double>(steady_clock::now() - wallStart).count();
        }
    });
    std::future<long> result = task->get_future();
    boost::thread reader([task] { (*task)(); });

    ASSERT_TRUE(server.WaitForRequest("/silent", std::chrono::seconds(10)));
    // The reader keeps answering 0 while the server is silent; let it do so
    // for a while (bounded by the future) before interrupting it.
    EXPECT_EQ(result.wait_for(milliseconds(500)), std::future_status::timeout);
    reader.interrupt();
    ASSERT_EQ(result.wait_for(std::chrono::seconds(5)), std::future_status::ready);
    EXPECT_THROW(result.get(), boost::thread_interrupted);
    reader.join();

    // Each 0 came after a wait on the socket, not from a busy loop: a few
    // dozen reads in half a second, using a small part of one processor.
    EXPECT_GT(outcome->zeros, 0);
    EXPECT_LT(outcome->zeros, 200);
    EXPECT_LT(outcome->cpu, outcome->wall / 4 + 0.01);
}

// A server that accepts and never reads the request, or reads it and never
// answers, fails the transfer once nothing has come for the stall time.
TEST(URLStreamCurl, ATransferWithoutProgressForTheStallTimeFails) {
    const TestSupport::ScopedEnv stall("PENDREL_NET_STALL_TIMEOUT", "0.3");
    TestSupport::HttpServer silent(TestSupport::HttpServer::Mode::Silent);
    TestSupport::HttpServer server;
    server.ServeSilence("/never");
    const std::string cases[] = {silent.Url("/x"), server.Url("/never")};
    for (const std::string& url : cases) {
        SCOPED_TRACE(url);
        const auto start = steady_clock::now();
        const auto stream = CreateURLStream(url);
        EXPECT_EQ(ReadAll(*stream, 512), "<error>");
        const auto took = steady_clock::now() - start;
        EXPECT_GE(took, milliseconds(300));
        EXPECT_LT(took, std::chrono::seconds(5));
    }
}

}  // namespace
