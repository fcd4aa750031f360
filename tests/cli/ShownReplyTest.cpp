#include "cli/ShownReply.h"

#include "cli/ReplyFormat.h"
#include "platform/CodePage.h"

#include <gtest/gtest.h>

TEST(ShownReply, MacMakerAndAdapterInEachFormat) {
    TDEVICE_INFO1 record;
    record.IP = "10.0.0.1";
    record.Port = "6001";
    record.Info = Utf8ToGbk("型号: X3\n固件: 2.1");
    const TDeviceHardware known{"00-1A-2B-3C-4D-5E", "Phones, \"Inc.\"\t"};
    const std::string indent(kTextReplyColumn, ' ');
    struct Case {
        ReplyFormat format;
        TDeviceHardware hardware;
        int adapter;
        std::string shown;
    };
    const Case cases[] = {
        {ReplyFormat::Text, known, 0,
         "10.0.0.1         00-1A-2B-3C-4D-5E  Phones, \"Inc.\"\t\n" + indent + "型号: X3\n" +
             indent + "固件: 2.1\n"},
        {ReplyFormat::Text,
         {},
         0,
         "10.0.0.1         -\n" + indent + "型号: X3\n" + indent + "固件: 2.1\n"},
        {ReplyFormat::Text,
         {},
         2,
         "2   10.0.0.1         -\n    " + indent + "型号: X3\n    " + indent + "固件: 2.1\n"},
        {ReplyFormat::Tsv, known, 0,
         "10.0.0.1\t6001\t型号: X3\\n固件: 2.1\t00-1A-2B-3C-4D-5E\tPhones, \"Inc.\"\\t\n"},
        {ReplyFormat::Tsv, {}, 12, "10.0.0.1\t6001\t型号: X3\\n固件: 2.1\t\t\t12\n"},
        {ReplyFormat::Json, known, 0,
         "{\"ip\":\"10.0.0.1\",\"port\":6001,\"info\":\"型号: X3\\n固件: 2.1\",\"hex\":\"" +
             HexBytes(record.Info) +
             "\",\"mac\":\"00-1A-2B-3C-4D-5E\",\"vendor\":\"Phones, \\\"Inc.\\\"\\t\"}\n"},
        {ReplyFormat::Json,
         {},
         1,
         "{\"ip\":\"10.0.0.1\",\"port\":6001,\"info\":\"型号: X3\\n固件: 2.1\",\"hex\":\"" +
             HexBytes(record.Info) + "\",\"mac\":\"\",\"vendor\":\"\",\"adapter\":1}\n"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(FormatShownReply(c.format, {record, c.hardware, c.adapter}), c.shown);
    // A reply without text: the hardware line only.
    record.Info.clear();
    EXPECT_EQ(FormatShownReply(ReplyFormat::Text, {record, known, 0}),
              "10.0.0.1         00-1A-2B-3C-4D-5E  Phones, \"Inc.\"\t\n");
}
