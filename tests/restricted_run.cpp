// restricted_run: runs a command on a system that lacks some file system features, as some file
// systems do, by having the kernel refuse the calls (seccomp).
//
//   restricted_run [--no-chmod] [--no-tmpfile] [--no-setxattr] [--no-huge-pages] COMMAND [ARG]...
//
// --no-chmod: every chmod fails with ENOSYS ("Function not implemented").
// --no-tmpfile: opening with O_TMPFILE fails with EOPNOTSUPP, as on a file system without
// unnamed files.
// --no-setxattr: setting an extended attribute (an ACL among them) fails with EPERM.
// --no-huge-pages: no transparent huge pages for the command, as on a system that has them off.
#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <fcntl.h>

#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

#if defined(__x86_64__)
constexpr unsigned kArch = AUDIT_ARCH_X86_64;
#elif defined(__aarch64__)
constexpr unsigned kArch = AUDIT_ARCH_AARCH64;
#else
#error "restricted_run: no seccomp architecture for this processor"
#endif

// O_TMPFILE includes O_DIRECTORY; only its own bit marks an unnamed file.
constexpr unsigned kTmpfileBit = O_TMPFILE & ~O_DIRECTORY;

using Program = std::vector<sock_filter>;

void Load(Program& p, unsigned offset) { p.push_back(BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offset)); }
void Return(Program& p, unsigned value) { p.push_back(BPF_STMT(BPF_RET | BPF_K, value)); }

// If the call number is nr, fail with error.
void RefuseCall(Program& p, long nr, int error) {
  p.push_back(BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, static_cast<unsigned>(nr), 0, 1));
  Return(p, SECCOMP_RET_ERRNO | static_cast<unsigned>(error));
}

// If the call number is nr and its argument arg has any of flags, fail with error.
void RefuseFlags(Program& p, long nr, int arg, unsigned flags, int error) {
  p.push_back(BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, static_cast<unsigned>(nr), 0, 4));
  Load(p, offsetof(seccomp_data, args) + 8 * arg);  // the low half, on a little-endian machine
  p.push_back(BPF_JUMP(BPF_JMP | BPF_JSET | BPF_K, flags, 0, 1));
  Return(p, SECCOMP_RET_ERRNO | static_cast<unsigned>(error));
  Load(p, offsetof(seccomp_data, nr));
}

}  // namespace

int main(int argc, char** argv) {
  bool no_chmod = false, no_tmpfile = false, no_setxattr = false, no_huge_pages = false;
  int i = 1;
  for (; i < argc && argv[i][0] == '-'; ++i) {
    if (std::strcmp(argv[i], "--no-chmod") == 0) no_chmod = true;
    else if (std::strcmp(argv[i], "--no-tmpfile") == 0) no_tmpfile = true;
    else if (std::strcmp(argv[i], "--no-setxattr") == 0) no_setxattr = true;
    else if (std::strcmp(argv[i], "--no-huge-pages") == 0) no_huge_pages = true;
    else break;
  }
  if (i >= argc) {
    std::fprintf(stderr, "usage: restricted_run [--no-chmod] [--no-tmpfile] [--no-setxattr] [--no-huge-pages] COMMAND [ARG]...\n");
    return 2;
  }
  // Inherited across exec, like the filter below.
  if (no_huge_pages && (::prctl(PR_SET_THP_DISABLE, 1, 0, 0, 0) != 0 || ::prctl(PR_GET_THP_DISABLE, 0, 0, 0, 0) != 1)) {
    std::perror("restricted_run: transparent huge pages");
    return 125;
  }
  Program p;
  Load(p, offsetof(seccomp_data, arch));
  p.push_back(BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, kArch, 1, 0));
  Return(p, SECCOMP_RET_ALLOW);
  Load(p, offsetof(seccomp_data, nr));
  if (no_chmod) {
    for (const long nr : {static_cast<long>(SYS_fchmod), static_cast<long>(SYS_fchmodat), 452L /* fchmodat2 */})
      RefuseCall(p, nr, ENOSYS);
#ifdef SYS_chmod
    RefuseCall(p, SYS_chmod, ENOSYS);
#endif
  }
  if (no_tmpfile) {
    RefuseFlags(p, SYS_openat, 2, kTmpfileBit, EOPNOTSUPP);
#ifdef SYS_open
    RefuseFlags(p, SYS_open, 1, kTmpfileBit, EOPNOTSUPP);
#endif
  }
  if (no_setxattr)
    for (const long nr : {SYS_setxattr, SYS_lsetxattr, SYS_fsetxattr}) RefuseCall(p, nr, EPERM);
  Return(p, SECCOMP_RET_ALLOW);
  sock_fprog program{static_cast<unsigned short>(p.size()), p.data()};
  if (::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0 ||
      ::prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) != 0) {
    std::perror("restricted_run: seccomp");
    return 125;
  }
  ::execvp(argv[i], argv + i);
  std::perror("restricted_run: exec");
  return 127;
}
