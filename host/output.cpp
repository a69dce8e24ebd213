#include "host/output.h"

#include <windows.h>

#include <cstdio>

namespace docman {

namespace {

std::string JsonString(const std::string& s) {
    std::string out = "\"";
    for (unsigned char c : s) {
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default:
                if (c < 0x20) {
                    char buf[8];
                    snprintf(buf, sizeof buf, "\\u%04x", c);
                    out += buf;
                } else {
                    out += static_cast<char>(c);
                }
        }
    }
    return out + "\"";
}

void Write(const std::string& s) { fwrite(s.data(), 1, s.size(), stdout); }

}  // namespace

std::string Utf8(const std::wstring& text) {
    if (text.empty()) return {};
    int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(n, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
    return out;
}

std::wstring Wide(const std::string& utf8) {
    if (utf8.empty()) return {};
    int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring out(n, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), n);
    return out;
}

void Output::Record() { records_.emplace_back(); }

void Output::Add(const std::string& name, std::string text, std::string json) {
    if (records_.empty()) Record();
    records_.back().push_back({name, std::move(text), std::move(json)});
}

void Output::Field(const std::string& name, const std::wstring& value) {
    std::string u = Utf8(value);
    Add(name, u, JsonString(u));
}

void Output::Field(const std::string& name, const char* value) { Add(name, value, JsonString(value)); }

void Output::Field(const std::string& name, uint64_t value) {
    std::string s = std::to_string(value);
    Add(name, s, s);
}

void Output::Hex(const std::string& name, uint64_t value) {
    char buf[32];
    snprintf(buf, sizeof buf, "0x%llX", static_cast<unsigned long long>(value));
    Add(name, buf, std::to_string(value));
}

void Output::Flag(const std::string& name, bool value) { Add(name, value ? "1" : "0", value ? "true" : "false"); }

void Output::Flush() {
    if (json_) {
        auto object = [](const std::vector<Entry>& r) {
            std::string s = "{";
            for (size_t i = 0; i < r.size(); ++i) s += (i ? ", " : "") + JsonString(r[i].name) + ": " + r[i].json;
            return s + "}";
        };
        if (records_.size() == 1) {
            Write(object(records_[0]) + "\n");
        } else {
            std::string s = "[";
            for (size_t i = 0; i < records_.size(); ++i) s += (i ? ",\n " : "") + object(records_[i]);
            Write(s + "]\n");
        }
    } else {
        for (size_t i = 0; i < records_.size(); ++i) {
            if (i) Write("\n");
            for (const Entry& e : records_[i]) Write(e.name + ": " + e.text + "\n");
        }
    }
    fflush(stdout);
    records_.clear();
}

}  // namespace docman
