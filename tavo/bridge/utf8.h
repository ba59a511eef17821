// Conversions between the bridge's UTF-8 text and Windows' UTF-16.
#pragma once
#include <string>

namespace tavo::bridge {

std::wstring WideFromUtf8(const std::string& text);
std::string Utf8FromWide(const std::wstring& text);

}  // namespace tavo::bridge
