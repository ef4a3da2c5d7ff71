// The registrar: a parser for our registry scripts and the two walks over
// the parsed tree.
#include "module/registrar.h"

#include <charconv>
#include <cstdint>
#include <optional>
#include <vector>

#include "platform/codepage/codepage.h"
#include "platform/component/activation.h"

namespace hovane::module {
namespace {

using platform::RegAccess;
using platform::RegistryKey;
using platform::RegStatus;

struct ScriptValue {
  std::string name;
  bool isNumber = false;
  std::string text;
  std::uint32_t number = 0;
};

struct ScriptKey {
  std::string name;
  std::optional<std::string> defaultText;
  bool keep = false;
  bool replace = false;
  std::vector<ScriptValue> values;
  std::vector<ScriptKey> children;
};

struct Token {
  std::string text;
  bool quoted = false;
};

// Splits a line into words, quoted texts and '='. False for an unclosed quote.
bool Tokenize(std::string_view line, std::vector<Token>* tokens) {
  std::size_t i = 0;
  while (i < line.size()) {
    const char c = line[i];
    if (c == ' ' || c == '\t') {
      ++i;
    } else if (c == '=') {
      tokens->push_back({"=", false});
      ++i;
    } else if (c == '"') {
      const std::size_t close = line.find('"', i + 1);
      if (close == std::string_view::npos) return false;
      tokens->push_back({std::string(line.substr(i + 1, close - i - 1)), true});
      i = close + 1;
    } else {
      std::size_t end = i;
      while (end < line.size() && line[end] != ' ' && line[end] != '\t' && line[end] != '=') ++end;
      tokens->push_back({std::string(line.substr(i, end - i)), false});
      i = end;
    }
  }
  return true;
}

// Replaces %NAME% and %% in UTF-8 script text and converts the result to
// the system code page. Replacements are already narrow, so the literal
// pieces are converted one by one.
std::optional<std::string> Expand(std::string_view text, const Replacements& replacements) {
  std::string out;
  std::size_t start = 0;
  auto literal = [&](std::string_view piece) {
    auto narrow = platform::Utf8ToNarrow(piece);
    if (!narrow) return false;
    out += *narrow;
    return true;
  };
  while (start < text.size()) {
    const std::size_t open = text.find('%', start);
    if (open == std::string_view::npos) break;
    const std::size_t close = text.find('%', open + 1);
    if (close == std::string_view::npos) return std::nullopt;
    if (!literal(text.substr(start, open - start))) return std::nullopt;
    const std::string_view name = text.substr(open + 1, close - open - 1);
    if (name.empty()) {
      out += '%';
    } else {
      auto found = replacements.find(name);
      if (found == replacements.end()) return std::nullopt;
      out += found->second;
    }
    start = close + 1;
  }
  if (!literal(text.substr(start))) return std::nullopt;
  return out;
}

bool ParseLine(const std::vector<Token>& tokens, const Replacements& replacements,
               std::vector<ScriptKey*>& stack, std::size_t depth, std::vector<ScriptKey>* top) {
  if (tokens.empty()) return true;
  const Token& first = tokens[0];
  if (!first.quoted && first.text.starts_with('@')) {
    // A value of the key one level up.
    if (depth == 0 || depth > stack.size()) return false;
    ScriptKey* owner = stack[depth - 1];
    ScriptValue value;
    auto name = Expand(std::string_view(first.text).substr(1), replacements);
    if (!name || tokens.size() < 3 || tokens[1].text != "=" || tokens[1].quoted) return false;
    value.name = *name;
    if (tokens.size() == 3 && tokens[2].quoted) {
      auto text = Expand(tokens[2].text, replacements);
      if (!text) return false;
      value.text = *text;
    } else if (tokens.size() == 4 && !tokens[2].quoted && tokens[2].text == "dword") {
      const std::string& digits = tokens[3].text;
      const auto [end, error] =
          std::from_chars(digits.data(), digits.data() + digits.size(), value.number);
      if (error != std::errc() || end != digits.data() + digits.size()) return false;
      value.isNumber = true;
    } else {
      return false;
    }
    owner->values.push_back(std::move(value));
    return true;
  }
  if (depth > stack.size()) return false;
  ScriptKey key;
  auto name = Expand(first.text, replacements);
  if (!name || name->empty()) return false;
  key.name = *name;
  std::size_t i = 1;
  if (i < tokens.size() && tokens[i].text == "=" && !tokens[i].quoted) {
    if (i + 1 >= tokens.size() || !tokens[i + 1].quoted) return false;
    auto text = Expand(tokens[i + 1].text, replacements);
    if (!text) return false;
    key.defaultText = *text;
    i += 2;
  }
  for (; i < tokens.size(); ++i) {
    if (tokens[i].quoted) return false;
    if (tokens[i].text == "keep") {
      key.keep = true;
    } else if (tokens[i].text == "replace") {
      key.replace = true;
    } else {
      return false;
    }
  }
  stack.resize(depth);
  std::vector<ScriptKey>& siblings = depth == 0 ? *top : stack[depth - 1]->children;
  siblings.push_back(std::move(key));
  stack.push_back(&siblings.back());
  return true;
}

bool Parse(std::string_view script, const Replacements& replacements,
           std::vector<ScriptKey>* keys) {
  // Pointers into the tree stay valid: a vector only grows at a level
  // whose later siblings are not yet on the stack.
  std::vector<ScriptKey*> stack;
  while (!script.empty()) {
    const std::size_t newline = script.find('\n');
    std::string_view line = script.substr(0, newline);
    script = newline == std::string_view::npos ? std::string_view() : script.substr(newline + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    std::size_t indent = 0;
    while (indent < line.size() && line[indent] == ' ') ++indent;
    const std::string_view rest = line.substr(indent);
    if (rest.empty() || rest.front() == '#') continue;
    if (indent % 2 != 0 || rest.front() == '\t') return false;
    std::vector<Token> tokens;
    if (!Tokenize(rest, &tokens)) return false;
    if (!ParseLine(tokens, replacements, stack, indent / 2, keys)) return false;
  }
  return true;
}

HRESULT Status(RegStatus status) { return platform::StatusFromRegistry(status); }

HRESULT Write(const ScriptKey& node, const RegistryKey& parent) {
  if (node.replace) {
    const RegStatus removed = parent.DeleteTree(node.name);
    if (removed != RegStatus::Ok && removed != RegStatus::NotFound) return Status(removed);
  }
  RegistryKey key;
  if (RegStatus status = parent.Create(node.name, RegAccess::All, &key); status != RegStatus::Ok)
    return Status(status);
  if (node.defaultText) {
    if (RegStatus status = key.SetString("", *node.defaultText); status != RegStatus::Ok)
      return Status(status);
  }
  for (const ScriptValue& value : node.values) {
    const RegStatus status = value.isNumber ? key.SetDword(value.name, value.number)
                                            : key.SetString(value.name, value.text);
    if (status != RegStatus::Ok) return Status(status);
  }
  for (const ScriptKey& child : node.children)
    if (HRESULT status = Write(child, key); status != S_OK) return status;
  return S_OK;
}

HRESULT Remove(const ScriptKey& node, const RegistryKey& parent) {
  if (!node.keep) {
    const RegStatus status = parent.DeleteTree(node.name);
    return status == RegStatus::NotFound ? S_OK : Status(status);
  }
  RegistryKey key;
  const RegStatus opened = parent.Open(node.name, RegAccess::All, &key);
  if (opened == RegStatus::NotFound) return S_OK;
  if (opened != RegStatus::Ok) return Status(opened);
  for (const ScriptKey& child : node.children)
    if (HRESULT status = Remove(child, key); status != S_OK) return status;
  return S_OK;
}

}  // namespace

HRESULT ApplyRegistryScript(std::string_view script, const Replacements& replacements,
                            const RegistryKey& root, ScriptAction action) {
  std::vector<ScriptKey> keys;
  if (!Parse(script, replacements, &keys)) return E_INVALIDARG;
  for (const ScriptKey& key : keys) {
    const HRESULT status = action == ScriptAction::Register ? Write(key, root) : Remove(key, root);
    if (status != S_OK) return status;
  }
  return S_OK;
}

}  // namespace hovane::module
