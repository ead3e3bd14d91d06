#pragma once
// Where the sandbox's servers read their files: the configuration fixture and
// the auction's key (fixtures/), the project's pages (support/pages/) and the
// measurement scripts (support/measurement/), all under one folder laid out
// as tests/ is. The source tree's tests/ unless a program sets another (the
// installed sandbox program reads the copy installed beside it).
#include <string>

namespace qbtest {

// Takes effect for files read after the call; set it before any server starts.
void setSandboxFilesRoot(std::string root);
std::string sandboxFilesRoot();
// <root>/<relative>.
std::string sandboxFile(const std::string& relative);

}  // namespace qbtest
