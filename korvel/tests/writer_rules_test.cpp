// Choices of the configuration writer that depend on the modem alone.
#include "writer_rules.h"

#include <gtest/gtest.h>

namespace korvel {
namespace {

TEST(korvel_tw_model, ExactShape) {
    struct {
        const char* model;
        bool tw;
    } cases[] = {
        {"t77w968", true},   {"t99w175", true},  {"T77W968", false}, {"t77w96", false},
        {"t77w9680", false}, {"t7xw968", false}, {"x77w968", false}, {"", false},
    };
    for (auto& c : cases)
        EXPECT_EQ(c.tw, tw_model(c.model)) << c.model;
}

TEST(korvel_modeminfo_for, ThreeBranches) {
    struct {
        const char* what;
        const char* drivers;
        const char* model;
        bool mdm;
        bool ncm;
        modeminfo_kind want;
    } cases[] = {
        {"mm with mbim driver", "cdc_mbim, option", "em7455", false, false,
         modeminfo_kind::mbim_via_mmcli},
        {"mdm with mbim driver", "cdc_mbim", "em7455", true, false, modeminfo_kind::mbim_via_mmcli},
        {"tw model with mbim", "cdc_mbim", "t77w968", false, false, modeminfo_kind::qmi},
        {"tw model, mdm", "cdc_mbim", "t77w968", true, false, modeminfo_kind::at_port},
        {"mm with qmi", "qmi_wwan, option", "ec25", false, false, modeminfo_kind::qmi},
        {"ncm", "", "e3372", false, true, modeminfo_kind::at_port},
        {"mdm with qmi", "qmi_wwan", "ec25", true, false, modeminfo_kind::at_port},
    };
    for (auto& c : cases) {
        modem_state st;
        reset_state(st);
        copy_text(st.mm_drivers, c.drivers);
        copy_text(st.model, c.model);
        st.mdm = c.mdm;
        st.ncm = c.ncm;
        EXPECT_EQ(c.want, modeminfo_for(st)) << c.what;
    }
    // Found without a catalogue line: the QMI device only when there is one.
    struct {
        const char* drivers;
        modeminfo_kind want;
    } automatic[] = {
        {"option, qmi_wwan", modeminfo_kind::qmi},
        {"option", modeminfo_kind::at_port},
        {"cdc_acm", modeminfo_kind::at_port},
        {"cdc_mbim, qcserial", modeminfo_kind::mbim_via_mmcli},
    };
    for (auto& c : automatic) {
        modem_state st;
        reset_state(st);
        st.automatic = true;
        copy_text(st.mm_drivers, c.drivers);
        copy_text(st.model, "auto-2c7c-0306");
        EXPECT_EQ(c.want, modeminfo_for(st)) << c.drivers;
    }
}

TEST(korvel_atcommands_only_demo, DemoLineAloneCounts) {
    EXPECT_TRUE(atcommands_only_demo("Demo command \"ATI\";ATI\n", false));
    EXPECT_TRUE(atcommands_only_demo("Demo command \"ATI\";ATI and more", false));
    EXPECT_FALSE(atcommands_only_demo("Demo command \"ATI\";ATI\n", true));
    EXPECT_FALSE(atcommands_only_demo("Demo command \"ATI\";AT\n", false));
    EXPECT_FALSE(atcommands_only_demo("My list;AT+CSQ\n", false));
}

} // namespace
} // namespace korvel
