// The automatic choice: modes from USB functions, model names, the AT port
// from ModemManager's port list.
#include "auto_mode.h"

#include <cstdio>
#include <cstring>
#include <gtest/gtest.h>
#include <initializer_list>

namespace korvel {
namespace {

/// A device "1-1" from "class/subclass/protocol[ driver]" texts, one per
/// interface, numbered from 0.
usb_device_info device(std::initializer_list<const char*> functions) {
    usb_device_info dev{};
    std::snprintf(dev.name, sizeof dev.name, "1-1");
    dev.interfaces_expected = static_cast<int>(functions.size());
    for (const char* text : functions) {
        usb_function& f = dev.functions[dev.count];
        std::snprintf(f.name, sizeof f.name, "1-1:1.%d", dev.count);
        std::sscanf(text, "%2[^/]/%2[^/]/%2s %31s", f.cls, f.subclass, f.protocol, f.driver);
        ++dev.count;
    }
    return dev;
}

TEST(korvel_classify_usb_device, ModesInOrder) {
    struct {
        const char* what;
        usb_device_info dev;
        auto_mode mode;
        const char* reason;
    } cases[] = {
        {"QMI module, four serial ports",
         device({"ff/ff/30 option", "ff/00/00 option", "ff/00/00 option", "ff/00/00 option",
                 "ff/ff/ff qmi_wwan"}),
         auto_mode::modemmanager, "qmi_wwan bound to 1-1:1.4"},
        {"MBIM beside qcserial ports",
         device(
             {"ff/ff/ff qcserial", "ff/ff/ff qcserial", "02/0e/00 cdc_mbim", "0a/00/02 cdc_mbim"}),
         auto_mode::mbim, "cdc_mbim bound to 1-1:1.2"},
        {"MBIM class, no driver yet", device({"02/0e/00", "0a/00/02"}), auto_mode::mbim,
         "MBIM function (02/0e/00) at 1-1:1.0"},
        {"Huawei NCM stick",
         device({"ff/02/12 option", "ff/02/16 huawei_cdc_ncm", "08/06/50 usb-storage"}),
         auto_mode::ncm, "huawei_cdc_ncm bound to 1-1:1.1"},
        {"NCM class", device({"02/0d/00 cdc_ncm", "0a/00/01 cdc_ncm"}), auto_mode::ncm,
         "cdc_ncm bound to 1-1:1.0"},
        {"NCM wins over an Ethernet-style function", device({"02/06/00 cdc_ether", "02/0d/00"}),
         auto_mode::ncm, "NCM function (02/0d/00) at 1-1:1.1"},
        {"serial ports only", device({"02/02/01 cdc_acm", "0a/00/00 cdc_acm"}),
         auto_mode::modemmanager, "serial ports on cdc_acm (1-1:1.0), no Ethernet-style function"},
        {"sierra ports", device({"ff/ff/ff sierra", "ff/ff/ff sierra"}), auto_mode::modemmanager,
         "serial ports on sierra (1-1:1.0), no Ethernet-style function"},
        {"ECM router-style modem with a card reader",
         device({"02/06/00 cdc_ether", "0a/00/00 cdc_ether", "08/06/50 usb-storage"}),
         auto_mode::hilink, "cdc_ether bound to 1-1:1.0, no serial port"},
        {"RNDIS e0/01/03", device({"e0/01/03 rndis_host", "0a/00/00 rndis_host"}),
         auto_mode::hilink, "rndis_host bound to 1-1:1.0, no serial port"},
        {"RNDIS ef/04/01, no driver", device({"ef/04/01", "0a/00/00"}), auto_mode::hilink,
         "Ethernet-style function (ef/04/01) at 1-1:1.0, no serial port"},
        {"serial ports and Ethernet: neither rule",
         device({"02/06/00 cdc_ether", "ff/00/00 option"}), auto_mode::none,
         "interfaces 02/06/00 cdc_ether, ff/00/00 option"},
        {"keyboard", device({"03/01/01 usbhid", "03/00/00 usbhid"}), auto_mode::none,
         "interfaces 03/01/01 usbhid, 03/00/00 usbhid"},
        {"modem still in storage mode", device({"08/06/50 usb-storage", "08/06/50 usb-storage"}),
         auto_mode::none, "interfaces 08/06/50 usb-storage, 08/06/50 usb-storage"},
        {"vendor interface nobody drives", device({"ff/ff/ff"}), auto_mode::none,
         "interfaces ff/ff/ff"},
        {"no interfaces", device({}), auto_mode::none, "no interfaces"},
    };
    for (auto& c : cases) {
        auto_choice got = classify_usb_device(c.dev);
        EXPECT_EQ(c.mode, got.mode) << c.what;
        EXPECT_STREQ(c.reason, got.reason) << c.what;
    }
}

TEST(korvel_classify_usb_device, LongInterfaceListIsCut) {
    usb_device_info dev = device({});
    dev.count = max_usb_functions;
    for (int i = 0; i < dev.count; ++i) {
        std::snprintf(dev.functions[i].name, sizeof dev.functions[i].name, "1-1:1.%d", i);
        std::snprintf(dev.functions[i].cls, 3, "03");
        std::snprintf(dev.functions[i].subclass, 3, "00");
        std::snprintf(dev.functions[i].protocol, 3, "00");
        std::snprintf(dev.functions[i].driver, sizeof dev.functions[i].driver, "usbhid");
    }
    auto_choice got = classify_usb_device(dev);
    EXPECT_EQ(auto_mode::none, got.mode);
    EXPECT_LT(std::strlen(got.reason), sizeof got.reason);
    // Only whole entries.
    const char* last = std::strrchr(got.reason, ',');
    ASSERT_NE(nullptr, last);
    EXPECT_STREQ(", 03/00/00 usbhid", last);
}

TEST(korvel_usb_device_settled, AllInterfacesThereAndBound) {
    EXPECT_TRUE(usb_device_settled(device({"03/01/01 usbhid"})));
    EXPECT_FALSE(usb_device_settled(device({"ff/ff/ff option", "ff/ff/ff"})));
    usb_device_info missing = device({"ff/ff/ff option"});
    missing.interfaces_expected = 4;
    EXPECT_FALSE(usb_device_settled(missing));
    usb_device_info unknown = device({"ff/ff/ff option"});
    unknown.interfaces_expected = -1;
    EXPECT_TRUE(usb_device_settled(unknown));
    EXPECT_FALSE(usb_device_settled(device({})));

    usb_device_info hub = device({"09/00/00 hub"});
    std::snprintf(hub.device_class, sizeof hub.device_class, "09");
    EXPECT_TRUE(usb_hub(hub));
    EXPECT_FALSE(usb_hub(device({"03/01/01 usbhid"})));
}

TEST(korvel_auto_model_name, FourHexDigitsEach) {
    struct {
        const char* id;
        const char* model; // nullptr: no model name
    } cases[] = {
        {"2c7c/306/310", "auto-2c7c-0306"},
        {"1199/9079", "auto-1199-9079"},
        {"19D2/1405/0", "auto-19d2-1405"},
        {"46d/c31c/6400", "auto-046d-c31c"},
        {"12d1", nullptr},
        {"/1506/0", nullptr},
        {"12d1/x/0", nullptr},
        {"12d1/1506x", nullptr},
        {"10000/1/0", nullptr},
        {"12d1/-1/0", nullptr},
        {"", nullptr},
    };
    for (auto& c : cases) {
        char model[64];
        EXPECT_EQ(c.model != nullptr, auto_model_name(c.id, model)) << c.id;
        EXPECT_STREQ(c.model ? c.model : "", model) << c.id;
    }
}

TEST(korvel_apply_auto_choice, StateForTheSharedConfigurationPath) {
    modem_state st;
    reset_state(st);
    auto_choice choice{auto_mode::ncm, "huawei_cdc_ncm bound to 1-1:1.1"};
    ASSERT_TRUE(apply_auto_choice(choice, "12d1/155e/102", st));
    EXPECT_STREQ("auto-12d1-155e", st.model);
    EXPECT_TRUE(st.ncm);
    EXPECT_FALSE(st.hilink || st.mbim || st.xmm || st.mdm || st.bind_at_add || st.rebind_at_setup);
    EXPECT_TRUE(st.automatic);
    EXPECT_STREQ("", st.at_port);
    EXPECT_STREQ("", st.sms_port);
    EXPECT_STREQ("NAN", st.sms_init);
    EXPECT_STREQ("no catalogue line; huawei_cdc_ncm bound to 1-1:1.1", st.choice);
    EXPECT_STREQ("NCM", mode_name(st));

    modem_state mm;
    reset_state(mm);
    ASSERT_TRUE(apply_auto_choice({auto_mode::modemmanager, "x"}, "2c7c/306/310", mm));
    EXPECT_TRUE(no_mode_word(mm));
    EXPECT_STREQ("ModemManager", mode_name(mm));

    modem_state none;
    reset_state(none);
    EXPECT_FALSE(apply_auto_choice({auto_mode::none, "keyboard"}, "46d/c31c/6400", none));
    EXPECT_FALSE(apply_auto_choice({auto_mode::hilink, "x"}, "not-an-id", none));
    EXPECT_FALSE(none.automatic);
}

TEST(korvel_pick_at_port, PrimaryAtPortElseFirstAtPort) {
    struct {
        const char* what;
        const char* primary;
        const char* ports;
        const char* at;  // "" when none
        const char* qmi; // what qmi holds afterwards (it starts as "/dev/cdc-wdm0")
    } cases[] = {
        {"QMI modem: primary is the QMI port, first AT port taken", "cdc-wdm0",
         "cdc-wdm0 (qmi)\nttyUSB0 (qcdm)\nttyUSB1 (gps)\nttyUSB2 (at)\nttyUSB3 (at)\nwwan0 (net)\n",
         "/dev/ttyUSB2", "/dev/cdc-wdm0"},
        {"primary AT port wins over an earlier one", "ttyUSB3", "ttyUSB2 (at)\nttyUSB3 (at)\n",
         "/dev/ttyUSB3", "/dev/cdc-wdm0"},
        {"AT over cdc-wdm", "cdc-wdm0", "cdc-wdm0 (at)\nttyUSB0 (at)\nwwan0 (net)", "/dev/cdc-wdm0",
         "/dev/cdc-wdm0"},
        {"second QMI device", "cdc-wdm1", "cdc-wdm1 (qmi)\r\nttyUSB6 (at)\r\n", "/dev/ttyUSB6",
         "/dev/cdc-wdm1"},
        {"no AT port", "cdc-wdm0", "cdc-wdm0 (mbim)\nwwan0 (net)\n", "", "/dev/cdc-wdm0"},
        {"empty list", "", "", "", "/dev/cdc-wdm0"},
        {"lines that are not ports", "", "ttyUSB2\n(at)\n\nttyUSB4 (at)\n", "/dev/ttyUSB4",
         "/dev/cdc-wdm0"},
    };
    for (auto& c : cases) {
        char at[64] = "junk";
        char qmi[64] = "/dev/cdc-wdm0";
        EXPECT_EQ(c.at[0] != '\0', pick_at_port(c.primary, c.ports, at, qmi)) << c.what;
        EXPECT_STREQ(c.at, at) << c.what;
        EXPECT_STREQ(c.qmi, qmi) << c.what;
    }
}

} // namespace
} // namespace korvel
