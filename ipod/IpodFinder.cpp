#include "IpodFinder.h"

#include <sys/stat.h>

#include <fstream>
#include <set>
#include <sstream>

#include "DatabaseCheck.h"
#include "IpodLock.h"
#include "IpodReading.h"

namespace {

// The mount table escapes blanks and a few other bytes as three octal digits.
std::string Unescaped(const std::string& field) {
    std::string text;
    for (size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size()) {
            const std::string digits = field.substr(i + 1, 3);
            if (digits.find_first_not_of("01234567") == std::string::npos) {
                text += static_cast<char>(std::stoi(digits, nullptr, 8));
                i += 3;
                continue;
            }
        }
        text += field[i];
    }
    return text;
}

// Kernel and network file systems never hold an iPod and may be slow to ask.
bool MayHoldIpod(const std::string& type) {
    static const std::set<std::string> kNever = {
        "proc", "sysfs", "devtmpfs", "devpts", "cgroup", "cgroup2", "securityfs", "pstore", "debugfs",
        "tracefs", "bpf", "mqueue", "hugetlbfs", "autofs", "binfmt_misc", "configfs", "fusectl", "nsfs",
        "overlay", "squashfs", "nfs", "nfs4", "cifs", "smb3", "fuse.sshfs", "rpc_pipefs", "efivarfs"};
    return !kNever.count(type);
}

// What each generation of iPod needs before this program may write its
// database, and the device row its files are made for: the H.264 iPods
// play the better file, the touch and the iPhone their own. The fifth
// generation (not the 5.5th) plays MPEG-4 only up to 480x480.
enum class TSigning { None, FirewireGuid, Impossible };
struct TGenerationRow {
    Itdb_IpodGeneration Generation;
    TSigning Signing;
    const char* Device;  // the short name of the device row
    TModelVideoLimit VideoLimit = {};
};
constexpr TGenerationRow kGenerations[] = {
    {ITDB_IPOD_GENERATION_VIDEO_1, TSigning::None, "ipod-h264",
     {AV_CODEC_ID_MPEG4, 480, 480, "the fifth-generation iPod"}},
    {ITDB_IPOD_GENERATION_VIDEO_2, TSigning::None, "ipod-h264"},
    {ITDB_IPOD_GENERATION_CLASSIC_1, TSigning::FirewireGuid, "ipod-h264"},
    {ITDB_IPOD_GENERATION_CLASSIC_2, TSigning::FirewireGuid, "ipod-h264"},
    {ITDB_IPOD_GENERATION_CLASSIC_3, TSigning::FirewireGuid, "ipod-h264"},
    {ITDB_IPOD_GENERATION_NANO_3, TSigning::FirewireGuid, "ipod-h264"},
    {ITDB_IPOD_GENERATION_NANO_4, TSigning::FirewireGuid, "ipod-h264"},
    {ITDB_IPOD_GENERATION_NANO_5, TSigning::Impossible, "ipod-h264"},
    {ITDB_IPOD_GENERATION_NANO_6, TSigning::Impossible, "ipod"},
    {ITDB_IPOD_GENERATION_TOUCH_1, TSigning::Impossible, "iphone"},
    {ITDB_IPOD_GENERATION_TOUCH_2, TSigning::Impossible, "iphone"},
    {ITDB_IPOD_GENERATION_TOUCH_3, TSigning::Impossible, "iphone"},
    {ITDB_IPOD_GENERATION_TOUCH_4, TSigning::Impossible, "iphone"},
    {ITDB_IPOD_GENERATION_IPHONE_1, TSigning::Impossible, "iphone"},
    {ITDB_IPOD_GENERATION_IPHONE_2, TSigning::Impossible, "iphone"},
    {ITDB_IPOD_GENERATION_IPHONE_3, TSigning::Impossible, "iphone"},
    {ITDB_IPOD_GENERATION_IPHONE_4, TSigning::Impossible, "iphone"},
    {ITDB_IPOD_GENERATION_IPAD_1, TSigning::Impossible, "iphone"},
};

const TGenerationRow* GenerationRow(Itdb_IpodGeneration generation) {
    for (const TGenerationRow& row : kGenerations)
        if (row.Generation == generation) return &row;
    return nullptr;
}

// libgpod signs with whatever the line says; a value that is not the iPod's
// 64-bit ID makes it show itself empty.
bool IsFirewireGuid(const std::string& text) {
    const std::string digits = text.rfind("0x", 0) == 0 || text.rfind("0X", 0) == 0 ? text.substr(2) : text;
    return digits.size() == 16 && digits.find_first_not_of("0123456789abcdefABCDEF") == std::string::npos;
}

constexpr char kHowToFindFirewireGuid[] =
    "the line \"FirewireGuid: 0x...\" in iPod_Control/Device/SysInfo, with the 16 hexadecimal digits of the "
    "serial number that \"lsusb -v\" shows for the iPod (e.g. 0x000A27001C0FFEE5)";

TIpodSupport SupportOf(Itdb_IpodGeneration generation, const std::string& firewireGuid, std::string& reason) {
    const TGenerationRow* row = GenerationRow(generation);
    if (!row) {
        reason = generation == ITDB_IPOD_GENERATION_UNKNOWN
                     ? "its model is unknown: iPod_Control/Device/SysInfo names no model number (ModelNumStr)"
                     : "this model does not play video";
        return TIpodSupport::Refused;
    }
    switch (row->Signing) {
        case TSigning::None:
            return TIpodSupport::Supported;
        case TSigning::FirewireGuid:
            if (IsFirewireGuid(firewireGuid)) return TIpodSupport::Supported;
            reason = firewireGuid.empty()
                         ? std::string("its database must be signed with its FireWire ID, which is not on the "
                                       "iPod: add ") + kHowToFindFirewireGuid
                         : "its FireWire ID \"" + firewireGuid +
                               "\" is not 16 hexadecimal digits, and signed with it the iPod would show itself "
                               "empty: correct " + kHowToFindFirewireGuid;
            return TIpodSupport::NeedsFirewireGuid;
        case TSigning::Impossible:
            break;
    }
    reason = "its database needs a signature that libgpod cannot make";
    return TIpodSupport::Refused;
}

std::string Text(const gchar* text) { return text ? text : ""; }

}  // namespace

bool HoldsIpodDatabase(const std::string& folder) {
    struct stat status {};
    return ::stat((folder + "/iPod_Control/iTunes/iTunesDB").c_str(), &status) == 0 && S_ISREG(status.st_mode);
}

TIpod DescribeIpod(const std::string& folder) {
    TGpodDatabasePtr database;
    TIpod ipod = ReadIpod(folder, database);
    // Read without the lock, a database another program is writing (its
    // artwork rewritten in place, its play counts moved away) can look
    // damaged; only a read under the lock may call it so.
    if (ipod.Support == TIpodSupport::Refused && HoldsIpodDatabase(folder)) {
        TIpodLock lock;
        std::string lockError;
        if (lock.Take(folder, {}, kIpodLockPatience, lockError)) ipod = ReadIpod(folder, database);
    }
    return ipod;
}

TIpod ReadIpod(const std::string& folder, TGpodDatabasePtr& database) {
    database.reset();
    TIpod ipod;
    ipod.Mount = folder;
    if (!HoldsIpodDatabase(folder)) {
        ipod.Reason = "not an iPod: it has no iPod_Control/iTunes/iTunesDB";
        return ipod;
    }
    ipod.Support = TIpodSupport::Refused;
    const TDatabaseCheck check = CheckDatabaseApart(folder);
    switch (check.State) {
        case TDatabaseState::Complete: break;
        case TDatabaseState::Unreadable: ipod.Reason = "its database cannot be read (" + check.Message + ")"; break;
        case TDatabaseState::Damaged: ipod.Reason = "its database is damaged"; break;
        case TDatabaseState::ArtworkDamaged: ipod.Reason = "its artwork database is damaged"; break;
        case TDatabaseState::Incomplete:
            ipod.Reason = "its database could not be read completely; nothing was changed";
            break;
    }
    if (!ipod.Reason.empty()) return ipod;
    if (check.ArtworkUnreadable)
        ipod.NoPosterReason = "the artwork on it cannot be read, and writing a poster would replace all of it";
    TGErrorSlot error;
    database.reset(itdb_parse(folder.c_str(), error.Out()));
    if (!database) {
        ipod.Reason = "its database cannot be read (" + error.Message() + ")";
        return ipod;
    }
    if (Itdb_Playlist* master = itdb_playlist_mpl(database.get())) ipod.Name = Text(master->name);
    const Itdb_IpodInfo* info = database->device ? itdb_device_get_ipod_info(database->device) : nullptr;
    const Itdb_IpodGeneration generation = info ? info->ipod_generation : ITDB_IPOD_GENERATION_UNKNOWN;
    if (info) {
        ipod.Model = Text(itdb_info_get_ipod_model_name_string(info->ipod_model));
        ipod.Generation = Text(itdb_info_get_ipod_generation_string(generation));
        ipod.ModelNumber = Text(info->model_number);
    }
    TGTextPtr guid(database->device ? itdb_device_get_sysinfo(database->device, "FirewireGuid") : nullptr);
    ipod.Support = SupportOf(generation, Text(guid.get()), ipod.Reason);
    if (const TGenerationRow* row = GenerationRow(generation)) {
        ipod.Device = FindDevice(row->Device).value_or(kDefaultDeviceIndex);
        ipod.VideoLimit = row->VideoLimit;
    }
    // Libraries without the row's encoder still make the files every iPod plays.
    if (!DeviceUnavailableReason(DeviceAt(ipod.Device)).empty()) ipod.Device = kDefaultDeviceIndex;
    return ipod;
}

std::vector<TIpod> MountedIpods() {
    std::vector<TIpod> ipods;
    std::ifstream table("/proc/self/mounts");
    std::string line;
    while (std::getline(table, line)) {
        std::istringstream fields(line);
        std::string device, mount, type;
        if (!(fields >> device >> mount >> type) || !MayHoldIpod(type)) continue;
        mount = Unescaped(mount);
        if (HoldsIpodDatabase(mount)) ipods.push_back(DescribeIpod(mount));
    }
    return ipods;
}

std::string IpodLine(const TIpod& ipod) {
    if (ipod.Support == TIpodSupport::NotAnIpod) return ipod.Mount + ": " + ipod.Reason;
    std::string line = (ipod.Name.empty() ? std::string("iPod") : "\"" + ipod.Name + "\"");
    if (!ipod.Model.empty()) line += " (" + ipod.Generation + ", " + ipod.Model + ", " + ipod.ModelNumber + ")";
    line += " at " + ipod.Mount;
    if (ipod.Support == TIpodSupport::Supported && !ipod.NoPosterReason.empty())
        return line + ": can receive videos, without posters: " + ipod.NoPosterReason;
    if (ipod.Support == TIpodSupport::Supported) return line + ": can receive videos";
    return line + ": cannot receive videos: " + ipod.Reason;
}
