#include "xml/XmlResources.h"

#include <map>
#include <mutex>

namespace voltrane {

namespace {

std::string Key(std::string_view type, std::string_view name) {
  std::string key;
  key.reserve(type.size() + name.size() + 1);
  for (char c : type) key += c >= 'a' && c <= 'z' ? char(c - 32) : c;
  key += '\0';
  for (char c : name) key += c >= 'a' && c <= 'z' ? char(c - 32) : c;
  return key;
}

struct TRegistry {
  std::mutex lock;
  std::map<std::string, std::string> resources;  // a node map: values never move
};

TRegistry& Registry() {
  static TRegistry registry;
  return registry;
}

}  // namespace

void RegisterModuleResource(std::string_view type, std::string_view name, std::string bytes) {
  TRegistry& registry = Registry();
  std::lock_guard<std::mutex> guard(registry.lock);
  registry.resources[Key(type, name)] = std::move(bytes);
}

const std::string* FindModuleResource(std::string_view type, std::string_view name) {
  TRegistry& registry = Registry();
  std::lock_guard<std::mutex> guard(registry.lock);
  auto found = registry.resources.find(Key(type, name));
  return found == registry.resources.end() ? nullptr : &found->second;
}

}  // namespace voltrane
