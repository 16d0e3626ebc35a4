#include "export/output/access_acl.h"

#include <cerrno>
#include <cstdint>
#include <cstring>

#ifdef __linux__
#include <sys/xattr.h>
#endif

namespace {

bool Fail(std::string& error, const char* what) {
  error = std::string(what) + ": " + std::strerror(errno);
  return false;
}

// No ACLs on this file system, or none on the file.
bool NoAcl(int error) { return error == ENODATA || error == ENOTSUP || error == EOPNOTSUPP; }

#ifdef __linux__
constexpr const char* kAttribute = "system.posix_acl_access";

// The stored form: a 4-byte version, then 8-byte entries of a 16-bit tag, 16-bit permissions and
// a 32-bit id, little-endian on every Linux machine this builds for.
constexpr std::size_t kHeader = 4, kEntry = 8;
constexpr std::uint16_t kGroupObject = 0x04, kOther = 0x20;

std::uint16_t Field(const std::string& acl, std::size_t at) {
  return static_cast<std::uint16_t>(static_cast<unsigned char>(acl[at]) | static_cast<unsigned char>(acl[at + 1]) << 8);
}

// The owning group's entry cut down to what anyone may do.
void LimitOwningGroup(std::string& acl) {
  std::uint16_t other = 0;
  for (std::size_t at = kHeader; at + kEntry <= acl.size(); at += kEntry)
    if (Field(acl, at) == kOther) other = Field(acl, at + 2);
  for (std::size_t at = kHeader; at + kEntry <= acl.size(); at += kEntry)
    if (Field(acl, at) == kGroupObject) acl[at + 2] = static_cast<char>(Field(acl, at + 2) & other);
}
#endif

}  // namespace

bool ReadAccessAcl(const std::string& path, std::string& acl, std::string& error) {
  acl.clear();
#ifdef __linux__
  for (;;) {
    const ssize_t size = ::lgetxattr(path.c_str(), kAttribute, nullptr, 0);
    if (size < 0) return NoAcl(errno) || Fail(error, "cannot read its access ACL");
    acl.resize(static_cast<std::size_t>(size));
    const ssize_t n = ::lgetxattr(path.c_str(), kAttribute, acl.data(), acl.size());
    if (n >= 0) {
      acl.resize(static_cast<std::size_t>(n));
      return true;
    }
    if (errno != ERANGE) return NoAcl(errno) || Fail(error, "cannot read its access ACL");  // ERANGE: it grew
  }
#else
  (void)path, (void)error;
  return true;
#endif
}

bool DropAccessAcl(int fd, std::string& error) {
#ifdef __linux__
  if (::fremovexattr(fd, kAttribute) != 0 && !NoAcl(errno)) return Fail(error, "cannot clear the new file's ACL");
#else
  (void)fd, (void)error;
#endif
  return true;
}

bool WriteAccessAcl(int fd, std::string acl, bool same_group, std::string& error) {
  if (acl.empty()) return true;
#ifdef __linux__
  if (!same_group) LimitOwningGroup(acl);
  if (::fsetxattr(fd, kAttribute, acl.data(), acl.size(), 0) != 0) return Fail(error, "cannot keep its access ACL");
#else
  (void)fd, (void)same_group, (void)error;
#endif
  return true;
}
