#include "net/IdTCPStream.h"

std::string TIdTCPStream::Read(int count) {
    std::string bytes;
    connection_.ReadBytes(bytes, count);
    return bytes;
}
