// Feeds arbitrary bytes as a message through body reception: the lines up
// to the first empty one are the header, the rest the reply a server sends
// after it, read through an in-memory transport. Reception may raise its
// documented errors; nothing may crash, and once the message is freed no
// attachment file is left behind.
#include "FuzzLines.h"
#include "message/IdMessageClient.h"
#include "message/IdTempFiles.h"
#include "net/IdIOHandler.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string_view>

namespace {

// A transport that hands out the given bytes in chunks of up to 7 and then
// reports the peer's close.
class BytesHandler final : public TIdIOHandler {
public:
    explicit BytesHandler(std::string_view bytes) : bytes_(bytes) {}
    void Open() override {}
    void Close() override { open_ = false; }
    bool Connected() override { return open_; }
    void ConnectClient(const std::string&, int, const std::string&, int, int, int, int) override {}
    bool Readable(int) override { return true; }
    int Send(const char*, std::size_t size) override { return static_cast<int>(size); }
    int Recv(char* buffer, std::size_t size) override {
        const std::size_t n = std::min({size, bytes_.size(), std::size_t{7}});
        std::memcpy(buffer, bytes_.data(), n);
        bytes_.remove_prefix(n);
        return static_cast<int>(n);
    }
    int RecvWithin(char* buffer, std::size_t size, int) override { return Recv(buffer, size); }

private:
    std::string_view bytes_;
    bool open_ = true;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::size_t blank = input.find("\n\n");
    const std::string_view header = input.substr(0, blank);
    const std::string_view body = blank == std::string_view::npos ? std::string_view() : input.substr(blank + 2);
    {
        TIdMessage msg;
        forEachLine(header, [&](std::string_view line) { msg.HeaderLines.Add(std::string(line)); });
        BytesHandler handler(body);
        TIdMessageClient client;
        client.SetIOHandler(&handler);
        client.MaxLineLength = 1024;
        client.BodyLimits = {1024 * 1024, 100, 20};
        // Inputs of odd length take part names and texts to UTF-8.
        client.CharsetDecoding = size % 2 == 1 ? TIdCharsetDecoding::AllToUtf8 : TIdCharsetDecoding::Written;
        try {
            TIdMessageClient::ReadHeaderFields(msg, client.CharsetDecoding);
            client.ReceiveMessageBody(msg, ".");
        } catch (const EIdException&) {
        }
    }
    const std::filesystem::path& folder = AttachmentFolder::Process().Path();
    if (!folder.empty() && !std::filesystem::is_empty(folder)) std::abort();
    return 0;
}
