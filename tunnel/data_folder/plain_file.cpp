#include "tunnel/data_folder/plain_file.h"

#include <random>
#include <vector>

#include "base/system_error_text.h"
#include "base/wide_to_utf8.h"

namespace duzavide {

std::string PlainFileProblem(HANDLE file) {
  BY_HANDLE_FILE_INFORMATION info{};
  if (!::GetFileInformationByHandle(file, &info)) {
    return "it could not be examined: " + LastSystemErrorText();
  }
  if ((info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) return "it is a link";
  if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return "it is a folder";
  if (info.nNumberOfLinks != 1) return "it has " + std::to_string(info.nNumberOfLinks) + " links";
  return std::string();
}

UniqueFileHandle OpenPlainFile(const std::wstring& path, DWORD access, DWORD share,
                               DWORD disposition, std::string* failure,
                               PSECURITY_DESCRIPTOR security) {
  SECURITY_ATTRIBUTES attributes{sizeof(attributes), security, FALSE};
  UniqueFileHandle file(
      ::CreateFileW(path.c_str(), access, share, security != nullptr ? &attributes : nullptr,
                    disposition, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  std::string problem;
  if (!file) {
    problem = "it could not be opened: " + LastSystemErrorText();
  } else {
    problem = PlainFileProblem(file.Get());
    if (!problem.empty()) file.Reset();
  }
  if (!problem.empty() && failure != nullptr) *failure = WideToUtf8(path) + ": " + problem;
  return file;
}

std::wstring FinalPathOf(HANDLE handle) {
  std::vector<wchar_t> buffer(MAX_PATH);
  for (int attempt = 0; attempt < 2; ++attempt) {
    DWORD length =
        ::GetFinalPathNameByHandleW(handle, buffer.data(), static_cast<DWORD>(buffer.size()),
                                    FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (length == 0) return std::wstring();
    if (length < buffer.size()) {
      std::wstring path(buffer.data(), length);
      if (path.compare(0, 8, L"\\\\?\\UNC\\") == 0) return L"\\" + path.substr(7);
      if (path.compare(0, 4, L"\\\\?\\") == 0) return path.substr(4);
      return path;
    }
    buffer.resize(length + 1);
  }
  return std::wstring();
}

bool SamePath(const std::wstring& a, const std::wstring& b) {
  return ::CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                                static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

std::wstring RandomHexName() {
  static constexpr wchar_t kDigits[] = L"0123456789abcdef";
  std::random_device random;
  std::wstring name;
  for (int half = 0; half < 2; ++half) {
    unsigned int bits = random();
    for (int digit = 0; digit < 8; ++digit, bits >>= 4) name += kDigits[bits & 15];
  }
  return name;
}

}  // namespace duzavide
