#include "browser.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <thread>

namespace displayTest {

namespace {

namespace fs = std::filesystem;

std::string readWhole(const fs::path &path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// A process group of its own, so that the browser's helper processes end with it.
pid_t spawnBrowser(const std::vector<std::string> &argv, const fs::path &out, const fs::path &err) {
    pid_t pid = fork();
    if (pid != 0) return pid;
    setpgid(0, 0);
    int o = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    int e = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    dup2(o, 1);
    dup2(e, 2);
    std::vector<char *> args;
    for (const std::string &a : argv) args.push_back(const_cast<char *>(a.c_str()));
    args.push_back(nullptr);
    execv(args[0], args.data());
    _exit(127);
}

std::string stripTags(const std::string &html) {
    static const std::regex tag("<[^>]*>");
    return std::regex_replace(html, tag, "");
}

// The element's inner markup: from its start tag to the end tag that closes it.
std::string innerMarkup(const std::string &dom, const std::string &id) {
    std::size_t at = dom.find("id=\"" + id + "\"");
    if (at == std::string::npos) return {};
    std::size_t open = dom.rfind('<', at);
    std::size_t name_end = dom.find_first_of(" >", open);
    std::string name = dom.substr(open + 1, name_end - open - 1);
    std::size_t start = dom.find('>', at) + 1;
    int depth = 1;
    std::size_t pos = start;
    while (depth > 0) {
        std::size_t next_open = dom.find("<" + name, pos);
        std::size_t next_close = dom.find("</" + name + ">", pos);
        if (next_close == std::string::npos) return {};
        if (next_open != std::string::npos && next_open < next_close) {
            ++depth;
            pos = next_open + 1;
        } else if (--depth == 0) {
            return dom.substr(start, next_close - start);
        } else {
            pos = next_close + 1;
        }
    }
    return {};
}

}  // namespace

std::string chromiumPath() {
    for (const char *path : {"/usr/bin/chromium", "/usr/bin/chromium-browser"}) {
        if (access(path, X_OK) == 0) return path;
    }
    return {};
}

browserRun runBrowser(const std::vector<std::string> &options, const std::string &url,
                      std::chrono::seconds limit) {
    char pattern[] = "/tmp/display-browser-XXXXXX";
    fs::path dir = mkdtemp(pattern);
    std::vector<std::string> argv{chromiumPath(),
                                  "--headless",
                                  "--no-sandbox",  // the tests run as root
                                  "--disable-gpu",
                                  "--disable-quic",
                                  "--no-first-run",
                                  "--disable-background-networking",
                                  "--disable-component-update",
                                  "--disable-sync",
                                  "--disable-dev-shm-usage",
                                  "--user-data-dir=" + (dir / "profile").string()};
    argv.insert(argv.end(), options.begin(), options.end());
    argv.push_back(url);
    pid_t pid = spawnBrowser(argv, dir / "out", dir / "err");

    browserRun run;
    auto deadline = std::chrono::steady_clock::now() + limit;
    int status = 0;
    while (waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            kill(-pid, SIGKILL);
            waitpid(pid, &status, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    run.ended = WIFEXITED(status);
    run.status = run.ended ? WEXITSTATUS(status) : -1;
    kill(-pid, SIGKILL);  // helpers that outlived the browser
    run.out = readWhole(dir / "out");
    run.err = readWhole(dir / "err");
    std::error_code ignored;
    fs::remove_all(dir, ignored);
    return run;
}

browserRun dumpDom(const std::string &url, int budgetMs) {
    return runBrowser(
        {std::string("--virtual-time-budget=") + std::to_string(budgetMs), "--dump-dom"}, url);
}

browserRun takeScreenshot(const std::string &url, const std::string &path, int width, int height) {
    return runBrowser(
        {"--virtual-time-budget=2500", "--hide-scrollbars",
         std::string("--window-size=") + std::to_string(width) + "," + std::to_string(height),
         "--screenshot=" + path},
        url);
}

std::string elementText(const std::string &dom, const std::string &id) {
    return stripTags(innerMarkup(dom, id));
}

std::string attributeOf(const std::string &dom, const std::string &id, const std::string &name) {
    std::size_t at = dom.find("id=\"" + id + "\"");
    if (at == std::string::npos) return {};
    std::size_t open = dom.rfind('<', at);
    std::string tag = dom.substr(open, dom.find('>', at) - open);
    std::smatch m;
    if (!std::regex_search(tag, m, std::regex(" " + name + "=\"([^\"]*)\""))) return {};
    return m[1];
}

bool elementHidden(const std::string &dom, const std::string &id) {
    std::size_t at = dom.find("id=\"" + id + "\"");
    if (at == std::string::npos) return false;
    std::size_t open = dom.rfind('<', at);
    std::string tag = dom.substr(open, dom.find('>', at) - open);
    return std::regex_search(tag, std::regex(" hidden(=\"\")?( |$)"));
}

std::string channelCell(const std::string &dom, const std::string &channel, int column) {
    std::size_t row = dom.find("data-channel=\"" + channel + "\"");
    if (row == std::string::npos) return {};
    std::size_t end = dom.find("</tr>", row);
    std::string markup = dom.substr(row, end - row);
    static const std::regex cell("<td[^>]*>([^<]*)</td>");
    int i = 0;
    for (std::sregex_iterator it(markup.begin(), markup.end(), cell), stop; it != stop; ++it) {
        if (i++ == column) return (*it)[1];
    }
    return {};
}

std::vector<std::string> unshownWords(const std::string &dom) {
    static const std::regex word(R"(\b(NaN|undefined|Infinity|null)\b)");
    std::vector<std::string> found;
    for (std::sregex_iterator it(dom.begin(), dom.end(), word), end; it != end; ++it) {
        std::size_t from = it->position() < 60 ? 0 : it->position() - 60;
        found.push_back(dom.substr(from, 120));
    }
    return found;
}

}  // namespace displayTest
