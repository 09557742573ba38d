#include "tests/support/run_tool.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <thread>

#include "tests/support/fat_image.h"

namespace vexlo::testing {

const std::filesystem::path& ToolBinary() {
  static const std::filesystem::path binary =
      std::filesystem::path(VEXLO_BIN_DIR) / "vexlo-recover";
  return binary;
}

std::string ReadText(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string JsonLines(const TempDir& temp, const std::string& json, const std::string& row) {
  const std::filesystem::path file = temp / "found.json";
  std::ofstream(file, std::ios::binary) << json;
  const std::string command =
      "python3 -c 'import json,sys\n"
      "t=open(sys.argv[1], encoding=\"utf-8\").read()\n"
      "try: rows=[json.loads(t)]\n"
      "except ValueError: rows=[json.loads(l) for l in t.splitlines() if l.strip()]\n"
      // A scan's closing summary object is not a found file.
      "rows=[r for r in rows if \"summary\" not in r]\n"
      "sys.stdout.write(\"\".join(sorted((" +
      row + ") + \"\\n\" for r in rows)))' " + ShellQuote(file.string());
  std::string output;
  if (RunCapture(command, &output) != 0) return "unparsable: " + json;
  return output;
}

ToolRun RunTool(const TempDir& temp, const std::vector<std::string>& args,
                const std::string& interrupt_when, int signal) {
  return RunProgram(temp, ToolBinary(), args, interrupt_when, signal);
}

namespace {

// The program started with stdout into `out` and stderr into a pipe, whose
// reading end is *err_fd; -1 when it could not start.
pid_t Start(const std::filesystem::path& program, const std::vector<std::string>& args,
            const std::string& out, int* err_fd) {
  const std::string binary = program.string();
  // Built before the fork: the child only calls what is safe there.
  std::vector<char*> argv{const_cast<char*>(binary.c_str())};
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  int pipe_fds[2];
  if (::pipe(pipe_fds) != 0) return -1;
  const pid_t pid = ::fork();
  if (pid < 0) {
    ::close(pipe_fds[0]);
    ::close(pipe_fds[1]);
    return -1;
  }
  if (pid == 0) {
    const int out_fd = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ::dup2(out_fd, 1);
    ::dup2(pipe_fds[1], 2);
    ::close(pipe_fds[0]);
    ::execv(argv[0], argv.data());
    _exit(127);
  }
  ::close(pipe_fds[1]);
  *err_fd = pipe_fds[0];
  return pid;
}

// Reads stderr to its end, sending `signal` once it holds `interrupt_when`.
void ReadErrors(int err_fd, pid_t pid, const std::string& interrupt_when, int signal,
                ToolRun* run) {
  char buffer[4096];
  for (ssize_t n; (n = ::read(err_fd, buffer, sizeof buffer)) > 0;) {
    run->err.append(buffer, static_cast<std::size_t>(n));
    if (!interrupt_when.empty() && !run->interrupted &&
        run->err.find(interrupt_when) != std::string::npos) {
      ::kill(pid, signal);
      run->interrupted = true;
    }
  }
  ::close(err_fd);
}

void Finish(pid_t pid, const std::string& out, ToolRun* run) {
  int status = 0;
  ::waitpid(pid, &status, 0);
  run->status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  run->out = ReadText(out);
}

}  // namespace

ToolRun RunProgram(const TempDir& temp, const std::filesystem::path& program,
                   const std::vector<std::string>& args, const std::string& interrupt_when,
                   int signal) {
  const std::string out = (temp / "stdout.txt").string();
  int err_fd = -1;
  const pid_t pid = Start(program, args, out, &err_fd);
  if (pid < 0) return {};
  ToolRun run;
  ReadErrors(err_fd, pid, interrupt_when, signal, &run);
  Finish(pid, out, &run);
  return run;
}

ToolRun RunToolAlongside(const TempDir& temp, const std::vector<std::string>& args,
                         const std::function<bool(pid_t)>& alongside) {
  const std::string out = (temp / "stdout.txt").string();
  int err_fd = -1;
  const pid_t pid = Start(ToolBinary(), args, out, &err_fd);
  if (pid < 0) return {};
  ToolRun run;
  // stderr is drained meanwhile, so the tool never blocks on a full pipe.
  std::string err;
  std::thread reader([&] {
    ToolRun errors;
    ReadErrors(err_fd, pid, "", SIGINT, &errors);
    err = std::move(errors.err);
  });
  run.interrupted = alongside(pid);
  reader.join();
  run.err = std::move(err);
  Finish(pid, out, &run);
  return run;
}

}  // namespace vexlo::testing
