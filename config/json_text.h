#ifndef CONFIG_JSON_TEXT_H_
#define CONFIG_JSON_TEXT_H_

#include <string>
#include <string_view>
#include <vector>

namespace duzavide {

// JSON text helpers for the configuration document, which is assembled as text.
// All three work on bytes: they never decode, validate or repair UTF-8, so valid
// UTF-8 in gives a valid JSON string out. Pure functions, safe from any thread.

// Returns the body of a JSON string literal (no surrounding quotes) for `text`:
// quote, backslash and every byte below 0x20 are escaped, all other bytes
// (including 0x7F and 0x80-0xFF) are copied unchanged.
std::string EscapeJsonString(std::string_view text);

// Returns `text` as a complete JSON string literal: quote, escaped body, quote.
std::string QuoteJsonString(std::string_view text);

// Returns a one-line JSON array of the non-empty `items` as quoted strings,
// separated by ", ". No items (or only empty ones) give "[]".
std::string RenderJsonStringList(const std::vector<std::string>& items);

}  // namespace duzavide

#endif  // CONFIG_JSON_TEXT_H_
