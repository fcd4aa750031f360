#include "platform/SysErrorMessage.h"
#include "platform/WinSock.h"

#include <cerrno>
#include <gtest/gtest.h>

// Each errno a socket call can return comes out as the Windows Sockets
// number whose text the socket layer knows.
TEST(ErrnoToWSAError, SocketErrnosGetTheirWindowsNumbers) {
    const struct {
        int error, expected;
    } cases[] = {
        {EPERM, 10013},       {EACCES, 10013},       {ENOBUFS, 10055},       {ENOMEM, 10055},
        {ENETUNREACH, 10051}, {EHOSTUNREACH, 10065}, {EADDRNOTAVAIL, 10049}, {EADDRINUSE, 10048},
        {ENOTSOCK, 10038},    {EMSGSIZE, 10040},     {EWOULDBLOCK, 10035},   {EPIPE, 10058},
        {ENETDOWN, 10050},    {ECONNREFUSED, 10061}, {EINVAL, 10022},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ws::ErrnoToWSAError(c.error), c.expected) << "errno " << c.error;
    EXPECT_EQ(ws::ErrnoToWSAError(EIO), EIO) << "no Windows number: the errno stays";
}

// The codes the adapter layer reports carry the original platform's texts;
// an errno keeps the C library's text.
TEST(SysErrorMessage, OriginalCodesHaveTheirTextsOthersTheSystems) {
    EXPECT_EQ(SysErrorMessage(232), "The pipe is being closed.");
    EXPECT_EQ(SysErrorMessage(111), "The file name is too long.");
    EXPECT_FALSE(SysErrorMessage(EIO).empty());
    EXPECT_EQ(SysErrorMessage(EIO).find("Unknown error"), std::string::npos);
}
