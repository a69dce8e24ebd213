#pragma once
// What a command prints: records of named fields, as "name: value" lines or,
// with --json, as one JSON object (several records make an array).
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace docman {

class Output {
public:
    explicit Output(bool json) : json_(json) {}

    // Starts a new record; the first field starts one implicitly.
    void Record();
    void Field(const std::string& name, const std::wstring& value);
    void Field(const std::string& name, const char* value);
    void Field(const std::string& name, uint64_t value);
    void Hex(const std::string& name, uint64_t value);
    void Flag(const std::string& name, bool value);

    // Prints everything collected, UTF-8.
    void Flush();

private:
    struct Entry {
        std::string name;
        std::string text;  // as shown in text mode
        std::string json;  // as a JSON value
    };
    void Add(const std::string& name, std::string text, std::string json);

    bool json_;
    std::vector<std::vector<Entry>> records_;
};

std::string Utf8(const std::wstring& text);
std::wstring Wide(const std::string& utf8);

}  // namespace docman
