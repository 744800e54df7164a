#include <algorithm>
#include <array>
#include <string>
#include <string_view>

#include "core/text.h"
#include "input/target_detector.h"

namespace halvex {
namespace {

// Sorted, so that a lookup is a binary search (static_assert below keeps it so).
constexpr std::array<std::string_view, 32> kWindowsNames = {
    "brave.exe",          "chrome.exe",         "cmd.exe",
    "conhost.exe",        "devenv.exe",         "discord.exe",
    "discordcanary.exe",  "discordptb.exe",     "explorer.exe",
    "firefox.exe",        "gamingservicesui.exe", "lockapp.exe",
    "mcclauncher.exe",    "mmc.exe",            "msedge.exe",
    "opera.exe",          "opera_gx.exe",       "powershell.exe",
    "pwsh.exe",           "runtimebroker.exe",  "searchapp.exe",
    "searchhost.exe",     "shellexperiencehost.exe", "startmenuexperiencehost.exe",
    "systemsettings.exe", "systemsettingsbroker.exe", "textinputhost.exe",
    "vivaldi.exe",        "vslauncher.exe",     "vsls-agent.exe",
    "windowsterminal.exe", "wt.exe",
};

// The Linux desktop's own programs, by the file name of /proc/PID/exe (no extension there):
// shells and panels, window managers, terminals, file managers, browsers and chat clients.
constexpr std::array<std::string_view, 76> kLinuxNames = {
    "alacritty",       "awesome",          "brave",            "brave-browser",
    "budgie-panel",    "caja",             "chrome",           "chromium",
    "chromium-browser", "cinnamon",        "compiz",           "discord",
    "discordcanary",   "discordptb",       "dolphin",          "element-desktop",
    "firefox",         "firefox-bin",      "firefox-esr",      "fluxbox",
    "foot",            "gnome-shell",      "gnome-terminal",   "gnome-terminal-server",
    "google-chrome",   "i3",               "icewm",            "kitty",
    "konsole",         "krunner",          "kwin_wayland",     "kwin_x11",
    "lxpanel",         "lxqt-panel",       "lxterminal",       "marco",
    "mate-panel",      "mate-terminal",    "metacity",         "msedge",
    "mutter",          "nautilus",         "nemo",             "nemo-desktop",
    "openbox",         "opera",            "pcmanfm",          "pcmanfm-qt",
    "plank",           "plasmashell",      "polybar",          "qterminal",
    "rxvt",            "signal-desktop",   "slack",            "telegram-desktop",
    "terminator",      "thunar",           "tilix",            "tint2",
    "urxvt",           "uxterm",           "vivaldi-bin",      "wezterm-gui",
    "xfce4-panel",     "xfce4-terminal",   "xfdesktop",        "xfwm4",
    "xterm",           "yakuake",          "zoom",             "kgx",
    "gnome-console",   "ptyxis",           "nwg-panel",        "waybar",
};

constexpr std::array<std::string_view, 4> kShellClasses = {
    "progman", "shell_secondarytraywnd", "shell_traywnd", "workerw"};

constexpr std::array<std::string_view, 4> kDiscordNames = {
    "discord.exe", "discordcanary.exe", "discorddevelopment.exe", "discordptb.exe"};

static_assert(std::is_sorted(kWindowsNames.begin(), kWindowsNames.end()));
static_assert(std::is_sorted(kShellClasses.begin(), kShellClasses.end()));

template <size_t N>
bool Contains(const std::array<std::string_view, N>& names, std::string_view name) {
  return std::find(names.begin(), names.end(), name) != names.end();
}

}  // namespace

bool IsBuiltInWindowsExclusion(std::string_view lowerCaseName) {
  return std::binary_search(kWindowsNames.begin(), kWindowsNames.end(), lowerCaseName);
}

bool IsBuiltInLinuxExclusion(std::string_view lowerCaseName) {
  return Contains(kLinuxNames, lowerCaseName);
}

bool IsShellWindowClass(std::string_view lowerCaseClass) {
  return std::binary_search(kShellClasses.begin(), kShellClasses.end(), lowerCaseClass);
}

bool IsDiscordClient(std::string_view name) {
  return Contains(kDiscordNames, text::AsciiLower(name));
}

}  // namespace halvex
