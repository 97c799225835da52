// Which receivers are present, read from their instance identifiers: the
// hand and performer of an identifier, and the listing of a device tree with
// receivers of two performers among ports that are not receivers.
#include "driver/client/receivers.h"

#include <gtest/gtest.h>

#include "tests/client/client_test_support.h"

namespace ZEMBRA {
namespace client {
namespace {

TEST(ReadReceiverTag, HandAndPerformerComeFromTheTagAndTheDigitsBehindIt) {
  struct Case {
    const char* id;
    bool receiver;
    HandType hand;
    int performer;
  } cases[] = {
      {"USB\\VID_0403&PID_6001\\ZEMBRA-LH0-0000", true, Hand_Left, 0},
      {"USB\\VID_0403&PID_6001\\ZEMBRA-RH0-0001", true, Hand_Right, 0},
      {"USB\\VID_0403&PID_6001\\ZEMBRA-LH1-0002", true, Hand_Left, 1},
      {"USB\\VID_0403&PID_6001\\ZEMBRA-RH1-0003", true, Hand_Right, 1},
      // A bare tag is performer 0's.
      {"USB\\VID_0403&PID_6001\\ZEMBRA-RH-0001", true, Hand_Right, 0},
      {"USB\\VID_0403&PID_6001\\RH", true, Hand_Right, 0},
      // One or two digits name the performer, leading zero or not.
      {"USB\\VID_0403&PID_6001\\ZEMBRA-LH07", true, Hand_Left, 7},
      {"USB\\VID_0403&PID_6001\\ZEMBRA-LH12-0001", true, Hand_Left, 12},
      // More digits are a serial number, not a performer.
      {"USB\\VID_0403&PID_6001\\LH0001", true, Hand_Left, 0},
      {"USB\\VID_0403&PID_6001\\RH99999999999999999999", true, Hand_Right, 0},
      // The first tag counts.
      {"USB\\VID_0403&PID_6001\\RH2-LH1", true, Hand_Right, 2},
      // Case-sensitive, as the driver's discovery.
      {"USB\\VID_0403&PID_6001\\zembra-lh1-0002", false, Hand_Left, 0},
      {"USB\\VID_0403&PID_6001\\FT232R-A1B2", false, Hand_Left, 0},
      {"", false, Hand_Left, 0},
  };
  for (const Case& c : cases) {
    const std::optional<ReceiverTag> tag = ReadReceiverTag(c.id);
    ASSERT_EQ(tag.has_value(), c.receiver) << c.id;
    if (!tag) continue;
    EXPECT_EQ(tag->hand, c.hand) << c.id;
    EXPECT_EQ(tag->performer, c.performer) << c.id;
  }
}

class ListReceiversTest : public clienttest::DeviceTreeTest {
 protected:
  void Add(const std::string& name, const std::string& serial) {
    sim::UsbSerialReceiver usb;
    usb.name = name;
    usb.serial = serial;
    usb.product = "ZEMBRA glove receiver";
    ASSERT_TRUE(tree_.AddUsbSerial(usb)) << tree_.error();
  }
};

TEST_F(ListReceiversTest, EveryReceiverOfBothPerformersInPortOrderAndNothingElse) {
  Add("ttyUSB10", "ZEMBRA-RH1-0003");
  Add("ttyUSB2", "ZEMBRA-LH1-0002");
  Add("ttyUSB1", "ZEMBRA-RH0-0001");
  Add("ttyUSB0", "ZEMBRA-LH-0000");
  Add("ttyUSB3", "FT232R-A1B2");
  Add("ttyUSB4", "zembra-lh2-0004");
  ASSERT_TRUE(tree_.AddPlatformSerial("ttyS0"));

  const std::vector<Receiver> receivers = ListReceivers();
  struct Expected {
    const char* name;
    const char* serial;
    HandType hand;
    int performer;
  } expected[] = {
      {"ttyUSB0", "ZEMBRA-LH-0000", Hand_Left, 0},
      {"ttyUSB1", "ZEMBRA-RH0-0001", Hand_Right, 0},
      {"ttyUSB2", "ZEMBRA-LH1-0002", Hand_Left, 1},
      {"ttyUSB10", "ZEMBRA-RH1-0003", Hand_Right, 1},
  };
  ASSERT_EQ(receivers.size(), std::size(expected));
  for (size_t i = 0; i < receivers.size(); ++i) {
    const Receiver& r = receivers[i];
    EXPECT_EQ(r.port.port_name, Node(expected[i].name));
    EXPECT_EQ(r.serial, expected[i].serial);
    EXPECT_EQ(r.hand, expected[i].hand);
    EXPECT_EQ(r.port.hand, expected[i].hand);
    EXPECT_EQ(r.performer, expected[i].performer);
    EXPECT_EQ(r.port.baud_rate, kBaudRate);
    EXPECT_EQ(r.port.hardware_id, "USB\\VID_0403&PID_6001");
    EXPECT_EQ(r.port.instance_id, r.port.hardware_id + "\\" + expected[i].serial);
    EXPECT_EQ(r.port.description, "ZEMBRA glove receiver");
    EXPECT_TRUE(PortPresent(r.port));
  }

  // Gone from the tree, or back under another name: not the port we had.
  PortInfo moved = receivers[0].port;
  ASSERT_TRUE(tree_.Remove("ttyUSB0"));
  EXPECT_FALSE(PortPresent(moved));
  Add("ttyUSB5", "ZEMBRA-LH-0000");
  EXPECT_FALSE(PortPresent(moved));
  moved.port_name = Node("ttyUSB5");
  EXPECT_TRUE(PortPresent(moved));
}

TEST_F(ListReceiversTest, AnEmptyMachineHasNoReceivers) {
  ASSERT_TRUE(tree_.AddPlatformSerial("ttyS0"));
  EXPECT_TRUE(ListReceivers().empty());
}

}  // namespace
}  // namespace client
}  // namespace ZEMBRA
