#include "DesktopSession.h"

#include <array>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <regex>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "AgentProcess.h"

namespace {

std::optional<std::string> Capture(const std::string& command) {
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return std::nullopt;
    }
    std::string out;
    std::array<char, 4096> buffer{};
    std::size_t got = 0;
    while ((got = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0) {
        out.append(buffer.data(), got);
    }
    const int status = ::pclose(pipe);
    if (status != 0) {
        return std::nullopt;
    }
    return out;
}

} // namespace

bool DesktopToolsInstalled() {
    return Capture("command -v Xvfb trayer xdotool xwininfo import convert >/dev/null 2>&1").has_value();
}

DesktopSession::DesktopSession(bool withTray) {
    char pattern[] = "/tmp/tarvellin-desktop.XXXXXX";
    if (::mkdtemp(pattern) == nullptr) {
        return;
    }
    m_infoFile = std::string(pattern) + "/env";
    m_group = ::fork();
    if (m_group == 0) {
        ::setsid();
        const std::string report = "printf '%s\\n%s\\n' \"$DISPLAY\" \"$XDG_RUNTIME_DIR\" > " + m_infoFile +
                                   ".tmp && mv " + m_infoFile + ".tmp " + m_infoFile + " && exec sleep 100000";
        if (withTray) {
            ::execl(TARVELLIN_WITH_DESKTOP, TARVELLIN_WITH_DESKTOP, "--", "sh", "-c", report.c_str(),
                    static_cast<char*>(nullptr));
        } else {
            ::execl(TARVELLIN_WITH_DESKTOP, TARVELLIN_WITH_DESKTOP, "--no-tray", "--", "sh", "-c", report.c_str(),
                    static_cast<char*>(nullptr));
        }
        ::_exit(127);
    }
    WaitUntil(
        [&] {
            std::ifstream info(m_infoFile);
            return std::getline(info, m_display) && std::getline(info, m_runtimeDir);
        },
        std::chrono::seconds(20));
}

DesktopSession::~DesktopSession() {
    if (m_trayer > 0) {
        ::kill(m_trayer, SIGTERM);
        ::waitpid(m_trayer, nullptr, 0);
    }
    if (m_group > 0) {
        ::kill(m_group, SIGTERM); // the script tears down its display and tray
        int status = 0;
        for (int i = 0; i < 100 && ::waitpid(m_group, &status, WNOHANG) == 0; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        ::kill(-m_group, SIGKILL); // whatever is left of the group (the placeholder command)
        ::waitpid(m_group, &status, WNOHANG);
    }
    if (!m_infoFile.empty()) {
        std::remove(m_infoFile.c_str());
        ::rmdir(m_infoFile.substr(0, m_infoFile.rfind('/')).c_str());
    }
}

std::optional<std::string> DesktopSession::Run(const std::string& command) const {
    return Capture("DISPLAY=" + m_display + " " + command + " 2>/dev/null");
}

bool DesktopSession::StartTray() {
    m_trayer = ::fork();
    if (m_trayer == 0) {
        ::setenv("DISPLAY", m_display.c_str(), 1);
        ::execlp("trayer", "trayer", "--edge", "top", "--align", "right", "--widthtype", "request", "--height", "32",
                 "--SetDockType", "true", "--transparent", "false", "--tint", "0xd0d0d0", "--expand", "true",
                 static_cast<char*>(nullptr));
        ::_exit(127);
    }
    return m_trayer > 0;
}

std::optional<std::pair<int, int>> DesktopSession::IconCentre() const {
    // The icon is the one window docked inside trayer's panel.
    const std::optional<std::string> tree = Run("xwininfo -root -tree");
    if (!tree) {
        return std::nullopt;
    }
    const std::regex panel(R"re("panel": \("panel" "trayer"\)\s+(\d+)x(\d+)\+(-?\d+)\+(-?\d+))re");
    const std::regex icon(
        R"re("tarvellin": \("tarvellin" "tarvellin"\)\s+(\d+)x(\d+)\+\d+\+\d+\s+\+(-?\d+)\+(-?\d+))re");
    std::smatch panelMatch;
    if (!std::regex_search(*tree, panelMatch, panel)) {
        return std::nullopt;
    }
    const int panelWidth = std::stoi(panelMatch[1]);
    const int panelHeight = std::stoi(panelMatch[2]);
    // The panel's own line gives its position relative to the root in its first geometry.
    const int panelX = std::stoi(panelMatch[3]);
    const int panelY = std::stoi(panelMatch[4]);
    for (auto it = std::sregex_iterator(tree->begin(), tree->end(), icon); it != std::sregex_iterator(); ++it) {
        const std::smatch& match = *it;
        const int width = std::stoi(match[1]);
        const int height = std::stoi(match[2]);
        const int x = std::stoi(match[3]);
        const int y = std::stoi(match[4]);
        const bool inside = x >= panelX && y >= panelY && x + width <= panelX + panelWidth + 1 &&
                            y + height <= panelY + panelHeight + 1;
        if (inside && width >= 8 && height >= 8) {
            return std::make_pair(x + width / 2, y + height / 2);
        }
    }
    return std::nullopt;
}

int DesktopSession::CountWindows(const std::string& nameRegex) const {
    const std::optional<std::string> ids = Run("xdotool search --onlyvisible --name '" + nameRegex + "'");
    if (!ids) {
        return 0;
    }
    std::istringstream lines(*ids);
    std::string line;
    int count = 0;
    while (std::getline(lines, line)) {
        count += line.empty() ? 0 : 1;
    }
    return count;
}

bool DesktopSession::Screenshot(const std::string& path, int x, int y, int width, int height) const {
    return Run("import -window root -crop " + std::to_string(width) + "x" + std::to_string(height) + "+" +
               std::to_string(x) + "+" + std::to_string(y) + " +repage '" + path + "'")
        .has_value();
}
