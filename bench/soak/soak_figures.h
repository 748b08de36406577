// The figures of a long-lived process over a soak: its resident memory, open descriptors and
// threads, sampled after every operation, and the growth from the first hundred operations to
// the last hundred. Read from /proc; where there is none, the figures are -1 and nothing counts
// as growth.
#ifndef QUILLON_BENCH_SOAK_FIGURES_H
#define QUILLON_BENCH_SOAK_FIGURES_H

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

// Whether this build runs under a sanitizer, whose own bookkeeping (freed memory kept in
// quarantine, shadow memory) grows the memory figures by design.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define QUILLON_SOAK_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define QUILLON_SOAK_SANITIZED 1
#endif
#endif
#ifndef QUILLON_SOAK_SANITIZED
#define QUILLON_SOAK_SANITIZED 0
#endif

namespace soak {

inline constexpr bool kSanitized = QUILLON_SOAK_SANITIZED != 0;

struct Sample {
    long rss_kb = -1;
    long fds = -1;
    long threads = -1;
};

// One field of /proc/<pid>/status in its first unit (kB for sizes), or -1.
inline long status_field(const std::string &process, const std::string &field) {
    std::ifstream status("/proc/" + process + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(field, 0) == 0)
            return std::stol(line.substr(field.size()));
    }
    return -1;
}

// `process` is a process number or "self".
inline Sample sample(const std::string &process) {
    Sample s;
    s.rss_kb = status_field(process, "VmRSS:");
    s.threads = status_field(process, "Threads:");
    std::error_code error;
    std::filesystem::directory_iterator fds("/proc/" + process + "/fd", error);
    if (!error) {
        s.fds = 0;
        for (const auto &entry : fds) {
            (void)entry;
            ++s.fds;
        }
    }
    return s;
}

// The figures of the first `span` of `total` samples and of the last `span`: the highest memory
// (the first operations warm the allocator up, and the highest figure of a window is the one
// after that), the lowest descriptors and threads (a sample may catch a connection or a worker
// thread that is just ending, while what leaks stays and raises the lowest figure too).
class Window {
public:
    Window(const char *what, size_t total, size_t span = 100)
        : m_what(what), m_total(total), m_span(std::min(span, total)) {}

    void add(const Sample &s) {
        if (m_count < m_span)
            fold(m_first, s);
        if (m_count >= m_total - m_span)
            fold(m_last, s);
        ++m_count;
    }

    // Prints the figures and returns whether they stayed put: descriptors and threads may not
    // grow at all, memory by `rss_slack_kb` at most, and memory only when `judge_memory` (a
    // sanitizer's own bookkeeping, such as freed memory kept in quarantine, grows by design).
    bool report(long rss_slack_kb, bool judge_memory) const {
        const long rss_growth = m_last.rss_kb - m_first.rss_kb;
        const bool memory = rss_growth > rss_slack_kb;
        const bool other = m_last.fds > m_first.fds || m_last.threads > m_first.threads;
        const bool grew = other || (memory && judge_memory);
        std::printf("  %-36s RSS %7ld -> %7ld kB (%+ld), fds %4ld -> %4ld, threads %3ld -> %3ld"
                    "  %s\n",
                    m_what, m_first.rss_kb, m_last.rss_kb, rss_growth, m_first.fds, m_last.fds,
                    m_first.threads, m_last.threads,
                    grew     ? "GROWTH"
                    : memory ? "memory not judged under a sanitizer"
                             : "no growth");
        return !grew;
    }

private:
    static void fold(Sample &to, const Sample &s) {
        to.rss_kb = std::max(to.rss_kb, s.rss_kb);
        to.fds = to.fds < 0 ? s.fds : std::min(to.fds, s.fds);
        to.threads = to.threads < 0 ? s.threads : std::min(to.threads, s.threads);
    }

    const char *m_what;
    size_t m_total;
    size_t m_span;
    size_t m_count = 0;
    Sample m_first, m_last;
};

} // namespace soak

#endif
