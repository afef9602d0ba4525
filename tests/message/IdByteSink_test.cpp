#include "net/NetTestUtil.h"
#include "TempDir.h"

#include "message/IdByteSink.h"

#include <gtest/gtest.h>

#include <fcntl.h>

namespace {

// Small writes gather in the buffer; a write larger than the buffer goes
// straight out; Close writes out the rest.
TEST(FileSink, KeepsEveryByteInOrder) {
    TempDir dir;
    const std::string big(FileSink::kBufferSize + 7, 'b');
    std::string expected;
    {
        FileSink sink(::open(dir.file("out").c_str(), O_WRONLY | O_CREAT, 0600));
        for (int i = 0; i < 5000; ++i) {
            const std::string line = std::to_string(i) + "\r\n";
            sink.Write(line);
            expected += line;
            if (i == 2500) {
                sink.Write(big);
                expected += big;
            }
        }
        sink.Close();
        EXPECT_EQ(sink.Size(), expected.size());
    }
    EXPECT_EQ(dir.read("out"), expected);
}

TEST(FileSink, FullDiskRaises) {
    FileSink sink(::open("/dev/full", O_WRONLY));
    sink.Write("abc");
    EXPECT_EQ(messageOf([&] { sink.Close(); }), "Error writing file: No space left on device");
    EXPECT_EQ(messageOf([&] { sink.Write("x"); }), "Error writing file: Bad file descriptor");
}

}  // namespace
