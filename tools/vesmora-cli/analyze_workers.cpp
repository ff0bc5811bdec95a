// The worker processes of `analyze` (see analyze.h). The program's state is one per
// process, so a study never runs in the tool's own process: each worker is a child of the
// tool, forked as it stands (its libraries already linked, no study in it yet), reading one
// request per line (a JSON object) on its standard input and handing back one answer per
// line on its standard output. It keeps its program folder, its volume's pages and the
// report's offscreen context from one study to the next, and sets the program's state back
// to a fresh process's before each. A study that ends the program hands its refusal back
// first; the worker is gone then, and is forked again for the next study, as after a crash
// or a time-out. The tool forks its workers from one thread only: no lock of another thread
// is copied held into a worker.
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "analyze.h"
#include "cli.h"
#include "latin1.h"
#include "volume_pages.h"

using nlohmann::json;

namespace {

json request_json(const StudyRequest& r) {
    return {{"study", r.study}, {"stem", r.stem},       {"model", r.model},     {"slices", r.slices},
            {"pdf", r.pdf_dir}, {"png", r.png_dir},     {"dicom", r.dicom_dir}, {"force_model", r.force_model},
            {"choose", r.choose}, {"bull_dir", r.bull_dir}};
}

StudyRequest request_of(const json& j) {
    StudyRequest r;
    r.study = j.value("study", "");
    r.stem = j.value("stem", "");
    r.model = j.value("model", "");
    r.slices = j.value("slices", "");
    r.pdf_dir = j.value("pdf", "");
    r.png_dir = j.value("png", "");
    r.dicom_dir = j.value("dicom", "");
    r.force_model = j.value("force_model", false);
    r.choose = j.value("choose", -1);
    r.bull_dir = j.value("bull_dir", "");
    return r;
}

using Clock = std::chrono::steady_clock;

struct Worker {
    pid_t pid = -1;
    int to = -1, from = -1;  // its standard input, its standard output
    std::string got;         // read and not yet answered
    long study = -1;         // the request it is on, -1 when idle
    Clock::time_point deadline;
};

void close_fd(int& fd) {
    if (fd >= 0) close(fd);
    fd = -1;
}

int reap(Worker& w) {
    close_fd(w.to);
    close_fd(w.from);
    int wstatus = 0;
    while (w.pid > 0 && waitpid(w.pid, &wstatus, 0) < 0 && errno == EINTR) {
    }
    w = Worker{};
    return wstatus;
}

int run_worker();

// Starts a worker; false and why when it cannot.
bool start(Worker& w, std::string& why) {
    int in[2], out[2];
    if (pipe2(in, O_CLOEXEC) != 0) {
        why = std::strerror(errno);
        return false;
    }
    if (pipe2(out, O_CLOEXEC) != 0) {
        why = std::strerror(errno);
        close(in[0]);
        close(in[1]);
        return false;
    }
    std::fflush(nullptr);  // nothing the tool holds unwritten is written again by the worker
    const pid_t pid = fork();
    if (pid == 0) {
        if (dup2(in[0], STDIN_FILENO) < 0 || dup2(out[1], STDOUT_FILENO) < 0) _exit(2);
        // Only its own pipes: another worker's left open here would never see its input end.
        if (close_range(3, ~0U, 0) != 0)
            for (int fd = 3; fd < 1024; fd++) close(fd);
        signal(SIGPIPE, SIG_DFL);  // the parent ignores it; the worker ends on it, as a process does
        std::exit(run_worker());
    }
    close(in[0]);
    close(out[1]);
    if (pid < 0) {
        why = std::strerror(errno);
        close(in[1]);
        close(out[0]);
        return false;
    }
    w.pid = pid;
    w.to = in[1];
    w.from = out[0];
    return true;
}

bool send_line(int fd, const std::string& line) {
    std::size_t done = 0;
    while (done < line.size()) {
        const ssize_t n = write(fd, line.data() + done, line.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

StudyOutcome outcome_of(const json& answer) {
    StudyOutcome r;
    if (answer.contains("record")) {
        r.record = answer["record"];
        if (answer.contains("dicom_refused")) r.dicom_refused = answer["dicom_refused"].get<std::string>();
    } else {
        r.refusal = answer.value("refused", "");
        if (answer.contains("function_only")) r.function_only = answer["function_only"];
    }
    return r;
}

// A worker gone without answering its study.
StudyOutcome lost(int wstatus) {
    StudyOutcome r;
    if (WIFSIGNALED(wstatus))
        r.refusal = latin1_to_utf8("l'analyse s'est arr\xEAt\xE9" "e sur le signal ") + std::to_string(WTERMSIG(wstatus)) + ".";
    else
        r.refusal = latin1_to_utf8("l'analyse s'est arr\xEAt\xE9" "e sans r\xE9sultat (statut ") +
                    std::to_string(WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1) + ").";
    return r;
}

StudyOutcome timed_out(double timeout) {
    char text[160];
    std::snprintf(text, sizeof text, "l'analyse n'a pas fini en %g s (--timeout) : elle a \xE9t\xE9 arr\xEAt\xE9" "e.",
                  timeout);
    return {json(), latin1_to_utf8(text), "", json()};
}

// Where a worker's answers go: its standard output as it started, while the program's own
// writes to standard output go to standard error and never mix with them.
int answer_fd = STDOUT_FILENO;

}  // namespace

void hand_back_answer(const json& answer) {
    const std::string line = answer.dump(-1, ' ', false, json::error_handler_t::replace) + "\n";
    std::fflush(stdout);
    send_line(answer_fd, line);
}

namespace {

// The worker's loop over the requests on its standard input; the worker's exit status.
int run_worker() {
    VOLUME_PAGES_START();  // while the first request comes
    if (!use_program_folder("", "analyze")) return 2;
    answer_fd = dup(STDOUT_FILENO);
    if (answer_fd < 0 || dup2(STDERR_FILENO, STDOUT_FILENO) < 0) return 2;
    // Every study opens its file right after its start: its load pays the clearing of the volume.
    VOLUME_CLEAR_LATER(1);
    std::string line;
    while (std::getline(std::cin, line)) {
        const json request = json::parse(line, nullptr, false);
        if (!request.is_object()) return 2;
        hand_back_answer(analyze_study_here(request_of(request)));
        VOLUME_SETTLE();  // a refused study leaves the volume as its start did: zeros
    }
    return 0;
}

}  // namespace

std::vector<StudyOutcome> analyze_studies(const std::vector<StudyRequest>& requests, unsigned jobs, double timeout,
                                          const std::function<void(std::size_t, const StudyOutcome&)>& done) {
    struct sigaction ignore {}, before{};
    ignore.sa_handler = SIG_IGN;
    sigaction(SIGPIPE, &ignore, &before);  // a worker gone while idle fails the write, not the tool

    const std::size_t n = requests.size();
    std::vector<StudyOutcome> outcomes(n);
    std::vector<Worker> workers(std::max(1u, jobs));
    const auto study_time = std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(timeout));
    auto finish = [&](std::size_t i, StudyOutcome r) {
        outcomes[i] = std::move(r);
        done(i, outcomes[i]);
    };
    std::size_t next = 0, busy = 0;
    while (next < n || busy > 0) {
        for (Worker& w : workers) {
            if (next >= n) break;
            if (w.study >= 0) continue;
            // A worker is started when needed; an idle one that has gone since is started again once.
            bool sent = false;
            std::string why;
            for (int attempt = 0; attempt < 2 && !sent; attempt++) {
                if (w.pid < 0 && !start(w, why)) break;
                sent = send_line(w.to, request_json(requests[next]).dump(-1, ' ', false, json::error_handler_t::replace) + "\n");
                if (!sent) {
                    why = std::strerror(errno);
                    reap(w);
                }
            }
            if (!sent) {
                finish(next++, {json(), latin1_to_utf8("le processus d'analyse n'a pas pu d\xE9marrer.") + detail(why), "", json()});
                continue;
            }
            w.study = static_cast<long>(next++);
            w.deadline = Clock::now() + study_time;
            busy++;
        }
        if (busy == 0) continue;
        std::vector<pollfd> fds;
        std::vector<Worker*> polled;
        auto first_deadline = Clock::time_point::max();
        for (Worker& w : workers)
            if (w.study >= 0) {
                fds.push_back({w.from, POLLIN, 0});
                polled.push_back(&w);
                first_deadline = std::min(first_deadline, w.deadline);
            }
        const auto wait = std::chrono::ceil<std::chrono::milliseconds>(first_deadline - Clock::now());
        if (poll(fds.data(), fds.size(), static_cast<int>(std::clamp<long long>(wait.count(), 0, 60000))) < 0) {
            if (errno == EINTR) continue;
            std::fprintf(stderr, "vesmora-cli analyze: %s\n",
                         (latin1_to_utf8("l'attente des analyses a \xE9" "chou\xE9.") + detail(std::strerror(errno))).c_str());
            break;
        }
        const auto now = Clock::now();
        for (std::size_t k = 0; k < polled.size(); k++) {
            Worker& w = *polled[k];
            const auto i = static_cast<std::size_t>(w.study);
            if (fds[k].revents == 0) {
                if (now < w.deadline) continue;
                kill(w.pid, SIGKILL);
                reap(w);
                busy--;
                finish(i, timed_out(timeout));
                continue;
            }
            char buf[65536];
            const ssize_t got = read(w.from, buf, sizeof buf);
            if (got < 0 && errno == EINTR) continue;
            if (got > 0) w.got.append(buf, static_cast<std::size_t>(got));
            const std::size_t line = w.got.find('\n');
            if (line != std::string::npos) {
                const json answer = json::parse(w.got.substr(0, line), nullptr, false);
                w.got.erase(0, line + 1);
                w.study = -1;
                busy--;
                if (answer.is_object() && (answer.contains("record") || answer.contains("refused"))) {
                    if (answer.contains("status")) reap(w);  // the study ended the program: the worker is gone
                    finish(i, outcome_of(answer));
                } else {
                    kill(w.pid, SIGKILL);
                    finish(i, lost(reap(w)));
                }
            } else if (got <= 0) {  // gone without answering
                busy--;
                finish(i, lost(reap(w)));
            }
        }
    }
    // Every worker's input closed first, so that they all end at once, not one after the other.
    for (Worker& w : workers)
        if (w.pid > 0) {
            if (w.study >= 0) kill(w.pid, SIGKILL);
            close_fd(w.to);
        }
    for (Worker& w : workers)
        if (w.pid > 0) reap(w);
    sigaction(SIGPIPE, &before, nullptr);
    return outcomes;
}
