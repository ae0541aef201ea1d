#include "platform/ProcessRunner.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace qob {

namespace {

void closeFd(int& fd) {
    if (fd >= 0) {
        ::close(fd);
        fd = -1;
    }
}

} // namespace

ProcessResult PosixProcessRunner::run(const std::vector<std::string>& argv, const std::string& input,
                                      const std::map<std::string, std::string>& environment) {
    ProcessResult result;
    if (argv.empty()) {
        result.error = "no program to run";
        return result;
    }
    // Everything the child needs is built before fork(): after it only exec-safe calls run.
    std::vector<std::string> env;
    for (char** e = environ; e && *e; ++e) {
        std::string var(*e);
        const std::string name = var.substr(0, var.find('='));
        if (environment.count(name) == 0) {
            env.push_back(std::move(var));
        }
    }
    for (const auto& [name, value] : environment) {
        env.push_back(name + "=" + value);
    }
    std::vector<std::string> args = argv;
    std::vector<char*> argp, envp;
    for (std::string& a : args) {
        argp.push_back(a.data());
    }
    argp.push_back(nullptr);
    for (std::string& v : env) {
        envp.push_back(v.data());
    }
    envp.push_back(nullptr);

    int in[2], out[2], err[2], exec[2];
    if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0 ||
        ::pipe2(exec, O_CLOEXEC) != 0) {
        result.error = std::strerror(errno);
        return result;
    }
    const pid_t child = ::fork();
    if (child < 0) {
        result.error = std::strerror(errno);
        for (int* p : {in, out, err, exec}) {
            ::close(p[0]);
            ::close(p[1]);
        }
        return result;
    }
    if (child == 0) {
        ::dup2(in[0], 0);
        ::dup2(out[1], 1);
        ::dup2(err[1], 2);
        ::execvpe(argp[0], argp.data(), envp.data());
        // Tells the parent why the program did not start; the pipe closes on a successful exec.
        const int why = errno;
        [[maybe_unused]] ssize_t n = ::write(exec[1], &why, sizeof why);
        ::_exit(127);
    }
    ::close(in[0]);
    ::close(out[1]);
    ::close(err[1]);
    ::close(exec[1]);
    int toChild = in[1], fromOut = out[0], fromErr = err[0];
    // A child that exits before reading all of its input must not kill us.
    struct sigaction ignore {
    }, previous{};
    ignore.sa_handler = SIG_IGN;
    ::sigaction(SIGPIPE, &ignore, &previous);
    std::size_t written = 0;
    if (input.empty()) {
        closeFd(toChild);
    }
    while (fromOut >= 0 || fromErr >= 0) {
        pollfd fds[3];
        nfds_t n = 0;
        for (int fd : {fromOut, fromErr}) {
            if (fd >= 0) {
                fds[n++] = {fd, POLLIN, 0};
            }
        }
        if (toChild >= 0) {
            fds[n++] = {toChild, POLLOUT, 0};
        }
        if (::poll(fds, n, -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            break;
        }
        for (nfds_t i = 0; i < n; ++i) {
            if (fds[i].revents == 0) {
                continue;
            }
            if (fds[i].fd == toChild) {
                const ssize_t w = ::write(toChild, input.data() + written, input.size() - written);
                if (w > 0) {
                    written += static_cast<std::size_t>(w);
                }
                if (w < 0 || written == input.size()) {
                    closeFd(toChild);
                }
                continue;
            }
            char buffer[4096];
            const ssize_t r = ::read(fds[i].fd, buffer, sizeof buffer);
            std::string& sink = fds[i].fd == fromOut ? result.out : result.err;
            if (r > 0) {
                sink.append(buffer, static_cast<std::size_t>(r));
            } else if (r == 0 || errno != EINTR) {
                closeFd(fds[i].fd == fromOut ? fromOut : fromErr);
            }
        }
    }
    closeFd(toChild);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    ::sigaction(SIGPIPE, &previous, nullptr);
    int why = 0;
    if (::read(exec[0], &why, sizeof why) == static_cast<ssize_t>(sizeof why)) {
        ::close(exec[0]);
        result.error = argv[0] + ": " + std::strerror(why);
        return result;
    }
    ::close(exec[0]);
    result.started = true;
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

} // namespace qob
