#pragma once

// A word option's words and the value each stands for, in the order that
// help and messages list them: one table per option, beside its type, from
// which the parser's check, the conversion and the messages are all made.

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quorvane {

template <typename Value, std::size_t N>
using WordTable = std::array<std::pair<std::string_view, Value>, N>;

template <typename Value, std::size_t N>
constexpr std::optional<Value> value_named(const WordTable<Value, N>& table, std::string_view word) {
    for (const auto& [name, value] : table) {
        if (name == word) return value;
    }
    return std::nullopt;
}

template <typename Value, std::size_t N>
constexpr std::string_view word_for(const WordTable<Value, N>& table, Value value) {
    for (const auto& [name, named] : table) {
        if (named == value) return name;
    }
    return {};
}

template <typename Value, std::size_t N>
std::vector<std::string> words_of(const WordTable<Value, N>& table) {
    std::vector<std::string> words;
    for (const auto& entry : table) words.emplace_back(entry.first);
    return words;
}

// "duckdb, postgresql or sqlite".
template <typename Value, std::size_t N>
std::string words_listed(const WordTable<Value, N>& table) {
    std::string listed;
    for (std::size_t i = 0; i < N; ++i) {
        if (i > 0) listed += i + 1 == N ? " or " : ", ";
        listed += table[i].first;
    }
    return listed;
}

}  // namespace quorvane
