#pragma once

#include "message/IdCoder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

// A memory sink that also counts the writes it was given.
class CountingSink final : public ByteSink {
public:
    std::string data;
    int writes = 0;

private:
    void put(std::string_view bytes) override {
        data.append(bytes);
        ++writes;
    }
};

struct CoderRow {
    const char* name;
    std::string input;
    std::string expected;  // the bytes, or "raises: " and the error text
};

// Decodes every row with `decoder` into a sink of its own: the result is
// written once (or not at all when empty), and a failure writes nothing.
inline void expectRows(TIdDecoder& decoder, const std::vector<CoderRow>& rows) {
    for (const CoderRow& row : rows) {
        CountingSink sink;
        std::string got;
        try {
            decoder.DecodeToStream(row.input, sink);
            got = sink.data;
            EXPECT_EQ(sink.writes, got.empty() ? 0 : 1) << row.name;
        } catch (const EIdException& e) {
            got = std::string("raises: ") + e.what();
            EXPECT_EQ(sink.writes, 0) << row.name;
        }
        EXPECT_EQ(got, row.expected) << row.name;
    }
}
