// A file's access ACL (POSIX.1e, as Linux stores it in the system.posix_acl_access attribute),
// carried from a file to the one that replaces it. Where the system or file system has no ACLs,
// every file has none, and nothing is carried.
#pragma once

#include <string>

// The access ACL of the file at path, as the system stores it; empty where the file has none
// beyond its mode. False, with error, where it cannot be read.
bool ReadAccessAcl(const std::string& path, std::string& acl, std::string& error);

// Gives the file fd exactly acl (empty: none beyond its mode, also where the directory's default
// ACL gave it one). Set none before a chmod and acl after it, since a chmod rewrites the ACL's
// mask. Where the file's group is no longer the old file's, the owning group's entry gets no more
// than anyone's. False, with error, where it cannot be set.
bool DropAccessAcl(int fd, std::string& error);
bool WriteAccessAcl(int fd, std::string acl, bool same_group, std::string& error);
