#include "net/IdException.h"
#include "net/IdStack.h"
#include "net/IdUDPServer.h"
#include "platform/SysErrorMessage.h"
#include "platform/WinSock.h"
#include "support/LoopbackPeer.h"

#include <array>
#include <cerrno>

#include <gtest/gtest.h>

namespace {

// Holds the socket layer for one test.
class StackTest : public ::testing::Test {
protected:
    void SetUp() override { AcquireStack(); }
    void TearDown() override { ReleaseStack(); }
};

} // namespace

TEST(SocketErrorMessage, TextsAreExact) {
    EXPECT_EQ(TIdStack::SocketErrorMessage(10048),
              "Socket Error # 10048\r\nAddress already in use.");
    EXPECT_EQ(TIdStack::SocketErrorMessage(10040), "Socket Error # 10040\r\nMessage too long.");
    EXPECT_EQ(TIdStack::SocketErrorMessage(10066), "Socket Error # 10066\r\nDirectory not empty");
    EXPECT_EQ(TIdStack::SocketErrorMessage(11001), "Socket Error # 11001\r\nHost not found.");
    EXPECT_EQ(TIdStack::SocketErrorMessage(10004),
              "Socket Error # 10004\r\nInterrupted system call.");
    EXPECT_EQ(TIdStack::SocketErrorMessage(10065), "Socket Error # 10065\r\nNo route to host.");
    // A number outside the table ends right after the line break.
    EXPECT_EQ(TIdStack::SocketErrorMessage(12345), "Socket Error # 12345\r\n");
    EXPECT_EQ(TIdStack::SocketErrorMessage(10067), "Socket Error # 10067\r\n");
}

// An errno that has no Windows Sockets number keeps the system's text.
TEST(SocketErrorMessage, UntranslatedErrnoKeepsTheSystemText) {
    EXPECT_EQ(TIdStack::SocketErrorMessage(EIO), "Socket Error # 5\r\n" + SysErrorMessage(EIO));
    EXPECT_NE(TIdStack::SocketErrorMessage(EIO), "Socket Error # 5\r\n");
}

TEST(SocketErrorMessage, RaisingPicksTheClassByNumber) {
    try {
        TIdStack::RaiseSocketError(10038);
        FAIL();
    } catch (const EIdNotASocket& e) {
        EXPECT_EQ(e.LastError(), 10038);
        EXPECT_EQ(e.Message(), "Socket Error # 10038\r\nSocket operation on non-socket.");
    }
    try {
        TIdStack::RaiseSocketError(10054);
        FAIL();
    } catch (const EIdNotASocket&) {
        FAIL() << "10054 is not the non-socket error";
    } catch (const EIdSocketError& e) {
        EXPECT_EQ(e.LastError(), 10054);
    }
}

TEST(ExceptionTexts, AreExact) {
    EXPECT_EQ(EIdCouldNotBindSocket().Message(),
              "Could not bind socket. Address and port are already in use.");
    EXPECT_EQ(EIdInvalidPortRange(6002, 6000).Message(), "Invalid Port Range (6002 - 6000)");
    EXPECT_EQ(EIdCanNotBindPortInRange(6000, 6002).Message(),
              "Can not bind in port range (6000 - 6002)");
    EXPECT_EQ(EIdCannotSetIPVersionWhenConnected().Message(),
              "Cannot change IPVersion when connected");
    EXPECT_EQ(EIdPackageSizeTooBig().Message(), "Package Size Too Big.");
    EXPECT_EQ(EIdNotAllBytesSent().Message(), "Not all bytes sent.");
    EXPECT_EQ(EIdStackSetSizeExceeded().Message(), "Set Size Exceeded.");
    EXPECT_EQ(EIdIPVersionUnsupported().Message(),
              "The requested IPVersion / Address family is not supported.");
    EXPECT_EQ(EIdInvalidIPv6Address("x").Message(), "x is not a valid IPv6 address");
    EXPECT_EQ(ERangeError().Message(), "Range check error");
    EXPECT_EQ(EIdWinsockStubError(0, "Title", "text").Message(), "Title");
    EXPECT_EQ(EIdWinsockStubError(10022, "Title", "text").Message(), "Title: text");
}

TEST(ExceptionTexts, HierarchyLetsCallersCatchByFamily) {
    EXPECT_THROW(throw EIdCouldNotBindSocket(), EIdSocketHandleError);
    EXPECT_THROW(throw EIdNotASocket("m", 10038), EIdSocketError);
    EXPECT_THROW(throw EIdStackSetSizeExceeded(), EIdStackError);
    EXPECT_THROW(throw EIdPackageSizeTooBig(), EIdException);
    EXPECT_THROW(throw EIdException("m"), Exception);
}

TEST(DottedQuad, AcceptsOnlyFourNumbersUpTo255) {
    EXPECT_TRUE(TIdStack::IsIP("255.255.255.255"));
    EXPECT_TRUE(TIdStack::IsIP("0.0.0.0"));
    EXPECT_TRUE(TIdStack::IsIP(" 10. 0.0.1 "));
    EXPECT_FALSE(TIdStack::IsIP("256.1.1.1"));
    EXPECT_FALSE(TIdStack::IsIP("1.2.3"));
    EXPECT_FALSE(TIdStack::IsIP("1.2.3.4.5"));
    EXPECT_FALSE(TIdStack::IsIP("a.b.c.d"));
    EXPECT_FALSE(TIdStack::IsIP(""));
    EXPECT_FALSE(TIdStack::IsIP("1..2.3"));
    EXPECT_FALSE(TIdStack::IsIP("-1.2.3.4"));
    EXPECT_FALSE(TIdStack::IsIP("99999999999.1.1.1"));
}

TEST(DottedQuad, ConvertsToBytesAndBack) {
    const auto bytes = TIdStack::IPv4ToBytes(" 10. 0.0.1");
    EXPECT_EQ(bytes, (std::array<std::uint8_t, 4>{10, 0, 0, 1}));
    EXPECT_EQ(TIdStack::BytesToIPv4(bytes.data()), "10.0.0.1");
    // A part above 255 or below 0 names no address; it must not wrap to another.
    for (const char* text : {"127.0.0.257", "256.1.2.3", "1.2.3.-1", "1.2.99999999999.4"})
        EXPECT_THROW(TIdStack::IPv4ToBytes(text), EConvertError) << text;
    try {
        TIdStack::IPv4ToBytes("127.0.0.257");
        FAIL();
    } catch (const EConvertError& e) {
        EXPECT_EQ(e.Message(), "'257' is not a valid integer value");
    }
    try {
        TIdStack::IPv4ToBytes("1.x.3.4");
        FAIL();
    } catch (const EConvertError& e) {
        EXPECT_EQ(e.Message(), "'x' is not a valid integer value");
    }
    EXPECT_THROW(TIdStack::IPv4ToBytes("1.2.3"), EConvertError);
}

TEST(IPv6Text, CanonicalFormAndGroups) {
    EXPECT_EQ(TIdStack::MakeCanonicalIPv6Address("::1"), "0:0:0:0:0:0:0:1");
    EXPECT_EQ(TIdStack::MakeCanonicalIPv6Address("::"), "0:0:0:0:0:0:0:0");
    EXPECT_EQ(TIdStack::MakeCanonicalIPv6Address("fe80::1:ab"), "FE80:0:0:0:0:0:1:AB");
    EXPECT_EQ(TIdStack::MakeCanonicalIPv6Address("::ffff:192.168.1.5"), "0:0:0:0:0:FFFF:C0A8:105");
    EXPECT_EQ(TIdStack::MakeCanonicalIPv6Address("1:2:3:4:5:6:7:8"), "1:2:3:4:5:6:7:8");
    EXPECT_EQ(TIdStack::MakeCanonicalIPv6Address(":2:3:4:5:6:7:8"), "0:2:3:4:5:6:7:8");
    EXPECT_EQ(TIdStack::MakeCanonicalIPv6Address("1:2:3:4:5:6:7:"), "1:2:3:4:5:6:7:0");
    for (const char* bad : {"", "1:2:3", "1::2::3", "12345::", "g::", "1:2:3:4:5:6:7:8:9",
                            "::1.2.3", "1:2:3:4:5:6:7::8"})
        EXPECT_EQ(TIdStack::MakeCanonicalIPv6Address(bad), "") << bad;
    const auto groups = TIdStack::IPv6ToGroups("2001:db8::ff00:42");
    EXPECT_EQ(groups[0], 0x2001);
    EXPECT_EQ(groups[7], 0x42);
    EXPECT_EQ(TIdStack::GroupsToIPv6(groups), "2001:DB8:0:0:0:0:FF00:42");
    EXPECT_THROW(TIdStack::IPv6ToGroups("nonsense"), EIdInvalidIPv6Address);
}

TEST_F(StackTest, ResolveAddressNeedsNoLookUpForLocalhostOrDottedQuads) {
    EXPECT_EQ(GStack().ResolveAddress("localhost", TIdIPVersion::Id_IPv4), "127.0.0.1");
    EXPECT_EQ(GStack().ResolveAddress("LocalHost", TIdIPVersion::Id_IPv4), "127.0.0.1");
    EXPECT_EQ(GStack().ResolveAddress("192.168.1.5", TIdIPVersion::Id_IPv4), "192.168.1.5");
    EXPECT_EQ(GStack().ResolveAddress("::1", TIdIPVersion::Id_IPv6), "0:0:0:0:0:0:0:1");
}

TEST(StackSingleton, LivesWhileSomeComponentHoldsIt) {
    EXPECT_THROW(GStack(), EIdStackError);
    {
        TIdUDPServer first;
        TIdStack* stack = &GStack();
        {
            TIdUDPServer second;
            EXPECT_EQ(&GStack(), stack);
        }
        EXPECT_EQ(&GStack(), stack);
    }
    EXPECT_THROW(GStack(), EIdStackError);
    // A later component creates a new one.
    TIdUDPServer again;
    EXPECT_NO_THROW(GStack());
}

TEST_F(StackTest, BindingToAnOctetAbove255FailsAndBindsNothing) {
    const ws::TSocket s =
        GStack().NewSocketHandle(ws::WS_SOCK_DGRAM, 0, TIdIPVersion::Id_IPv4, false);
    EXPECT_THROW(GStack().Bind(s, "127.0.0.257", 0, TIdIPVersion::Id_IPv4), EConvertError);
    std::string ip;
    std::uint16_t port = 1;
    TIdIPVersion version;
    GStack().GetSocketName(s, ip, port, version);
    EXPECT_EQ(port, 0) << "still unbound";
    GStack().Disconnect(s);
}

TEST_F(StackTest, SendingNothingSendsNoDatagram) {
    const ws::TSocket s =
        GStack().NewSocketHandle(ws::WS_SOCK_DGRAM, 0, TIdIPVersion::Id_IPv4, false);
    EXPECT_EQ(GStack().SendTo(s, {}, 0, -1, "127.0.0.1", 9, TIdIPVersion::Id_IPv4), 0);
    EXPECT_EQ(GStack().SendTo(s, {1, 2}, 2, -1, "127.0.0.1", 9, TIdIPVersion::Id_IPv4), 0);
    EXPECT_EQ(GStack().SendTo(s, {1, 2}, 5, -1, "127.0.0.1", 9, TIdIPVersion::Id_IPv4), 0);
    EXPECT_EQ(GStack().SendTo(s, {1, 2}, 0, 0, "127.0.0.1", 9, TIdIPVersion::Id_IPv4), 0);
    GStack().Disconnect(s);
}

TEST_F(StackTest, CallsOnAClosedSocketRaiseTheTranslatedError) {
    const ws::TSocket s =
        GStack().NewSocketHandle(ws::WS_SOCK_DGRAM, 0, TIdIPVersion::Id_IPv4, false);
    GStack().Disconnect(s);
    try {
        GStack().SetSocketOption(s, ws::WS_SOL_SOCKET, ws::WS_SO_BROADCAST, 1);
        FAIL();
    } catch (const EIdSocketError& e) {
        EXPECT_EQ(e.LastError(), 10009);
        EXPECT_EQ(e.Message(), "Socket Error # 10009\r\nBad file number.");
    }
}

// A batch read takes what is queued, in order, up to the count, across the
// rounds it reads in.
TEST(BatchRead, TakesQueuedDatagramsInOrderUpToTheCount) {
    LoopbackPeer receiver, sender;
    for (int i = 0; i < 150; ++i)
        sender.SendTo(receiver.Port(),
                      std::vector<std::uint8_t>(1 + i % 40, static_cast<std::uint8_t>(i)));
    std::vector<std::array<std::uint8_t, 64>> buffers(200);
    std::vector<ws::RecvSlot> slots(200);
    for (size_t i = 0; i < slots.size(); ++i)
        slots[i] = {buffers[i].data(), 64, nullptr, 0, 0, false, {}};
    EXPECT_EQ(ws::recvmmsg(receiver.Fd(), slots.data(), 100), 100);
    EXPECT_EQ(ws::recvmmsg(receiver.Fd(), slots.data() + 100, 100), 50);
    for (int i = 0; i < 150; ++i) {
        EXPECT_EQ(slots[i].received, 1 + i % 40) << i;
        EXPECT_EQ(buffers[i][0], i) << i;
    }
    EXPECT_EQ(ws::recvmmsg(receiver.Fd(), slots.data(), 10), 0) << "nothing queued";
}
