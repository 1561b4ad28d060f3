#include "standin.h"

#include <cstdlib>
#include <sstream>

namespace standin {

std::string resolve_remote(std::string_view user, std::string_view remote) {
  std::vector<std::string> parts;
  if (remote.empty() || remote.front() != '/') {
    parts = {"home", std::string(user)};
  }
  std::size_t pos = 0;
  while (pos <= remote.size()) {
    std::size_t end = remote.find('/', pos);
    if (end == std::string_view::npos) end = remote.size();
    std::string_view part = remote.substr(pos, end - pos);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.emplace_back(part);
    }
    pos = end + 1;
  }
  std::string out;
  for (const std::string& part : parts) out += "/" + part;
  return out.empty() ? "/" : out;
}

std::string host_path(std::string_view host, std::string_view absolute) {
  std::string out = std::string(kHostsDir) + std::string(host);
  for (char c : absolute) out += c == '/' ? '\\' : c;
  return out;
}

std::optional<int> forced_status(std::string_view control, std::string_view step) {
  std::optional<int> status;
  std::istringstream lines{std::string(control)};
  std::string line;
  while (std::getline(lines, line)) {
    std::istringstream words(line);
    std::string name;
    std::string value;
    if (words >> name >> value && name == step) status = std::atoi(value.c_str());
  }
  return status;
}

Login split_login(std::string_view word) {
  std::size_t at = word.rfind('@');
  if (at == std::string_view::npos) return {"", std::string(word)};
  return {std::string(word.substr(0, at)), std::string(word.substr(at + 1))};
}

}  // namespace standin
