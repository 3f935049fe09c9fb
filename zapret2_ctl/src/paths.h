// Fixed names of zapret2-ctl: version, files and commands it works with.
#pragma once

namespace zapret2_ctl {

constexpr const char* version_string = "1.0.4-r19";
constexpr const char* defaults_file = "/opt/zapret2/defaults/zapret2.uci";
constexpr const char* generator_path = "/opt/zapret2/init.d/openwrt/uci2config";
constexpr const char* genconfig_lock_file = "/var/lock/zapret2_genconfig.lock";
constexpr const char* pid_dir = "/var/run";
constexpr const char* pid_file_prefix = "nfqws2_";
constexpr const char* reset_shell = "/bin/sh";
constexpr const char* reset_env_path = "PATH=/usr/sbin:/usr/bin:/sbin:/bin";
constexpr const char* reset_command =
    "uci import zapret2 < /opt/zapret2/defaults/zapret2.uci && uci commit zapret2";

} // namespace zapret2_ctl
