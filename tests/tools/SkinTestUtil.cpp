#include "tools/SkinTestUtil.h"

#include <cstdlib>
#include <filesystem>
#include <spawn.h>
#include <sys/wait.h>

#include "pix/PIX_PNG.h"

extern char** environ;

namespace skintest {

std::unique_ptr<PIX_IBitmap> Load(const std::string& path)
{
  return std::unique_ptr<PIX_IBitmap>(PIX_LoadPNG(path.c_str()));
}

int RunGenerator(const std::vector<std::string>& args)
{
  std::vector<std::string> all{GEN_SKIN_EXE};
  all.insert(all.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& a : all) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = 0;
  if (posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) return -1;
  int status = 0;
  if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

TempDir::TempDir()
{
  std::string tmpl = (std::filesystem::temp_directory_path() / "kt_skin_XXXXXX").string();
  if (mkdtemp(tmpl.data())) m_path = tmpl;
}

TempDir::~TempDir()
{
  if (m_path.empty()) return;
  std::error_code ec;
  std::filesystem::remove_all(m_path, ec);
}

}  // namespace skintest
