// The prompt on Windows: the system's message box, through its wide-character entry point so that
// the sentence reads correctly whatever the system's code page.
#include <string>

#include "platform/prompt.h"
#include "platform/windows_system.h"

namespace {

std::wstring Wide(const char* utf8) {
  const int n = MultiByteToWideChar(CP_UTF8, 0, utf8, -1, nullptr, 0);
  std::wstring text(n > 0 ? n : 1, L'\0');
  if (n > 0) MultiByteToWideChar(CP_UTF8, 0, utf8, -1, text.data(), n);
  text.resize(text.size() - 1);  // the terminating zero
  return text;
}

}  // namespace

void PreparePrompt() {}  // a message box ends with its program, and takes UTF-16 whatever the locale

bool IsDialogProcess() { return false; }  // the message box is the system's own
int RunDialogProcess() { return 0; }

void ShowPrompt(const char* text, const char*, const char* caption, PromptProgressFn) {
  MessageBoxW(nullptr, Wide(text).c_str(), Wide(caption).c_str(), MB_OK);
}
