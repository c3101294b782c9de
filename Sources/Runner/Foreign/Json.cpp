#include "Json.h"

#include <charconv>

namespace Kalvoro {

namespace {

constexpr int MaxDepth = 200;

class TJsonReader {
public:
  explicit TJsonReader(std::string_view aText) : FText(aText) {}

  TJson Document() {
    TJson Value = Read(0);
    SkipSpace();
    if (FAt != FText.size())
      Fail("text after the value");
    return Value;
  }

private:
  [[noreturn]] void Fail(const std::string& aWhat) const {
    throw EJson("Malformed JSON at offset " + std::to_string(FAt) + ": " + aWhat);
  }
  void SkipSpace() {
    while (FAt < FText.size() &&
           (FText[FAt] == ' ' || FText[FAt] == '\t' || FText[FAt] == '\n' || FText[FAt] == '\r'))
      ++FAt;
  }
  bool Take(char aChar) {
    SkipSpace();
    if (FAt < FText.size() && FText[FAt] == aChar) {
      ++FAt;
      return true;
    }
    return false;
  }
  void Expect(char aChar) {
    if (!Take(aChar))
      Fail(std::string("'") + aChar + "' expected");
  }
  bool Word(std::string_view aWord) {
    if (FText.substr(FAt, aWord.size()) != aWord)
      return false;
    FAt += aWord.size();
    return true;
  }

  TJson Read(int aDepth) {
    if (aDepth > MaxDepth)
      Fail("nested too deep");
    SkipSpace();
    if (FAt >= FText.size())
      Fail("value expected");
    TJson Value;
    const char First = FText[FAt];
    if (First == '{') {
      ++FAt;
      Value.Type = TJson::Object;
      if (Take('}'))
        return Value;
      do {
        SkipSpace();
        if (FAt >= FText.size() || FText[FAt] != '"')
          Fail("member name expected");
        std::string Name = ReadString();
        Expect(':');
        Value.Members.emplace_back(std::move(Name), Read(aDepth + 1));
      } while (Take(','));
      Expect('}');
    } else if (First == '[') {
      ++FAt;
      Value.Type = TJson::Array;
      if (Take(']'))
        return Value;
      do
        Value.Items.push_back(Read(aDepth + 1));
      while (Take(','));
      Expect(']');
    } else if (First == '"') {
      Value.Type = TJson::String;
      Value.Text = ReadString();
    } else if (Word("true") || Word("false")) {
      Value.Type = TJson::Bool;
      Value.Flag = First == 't';
    } else if (Word("null")) {
      Value.Type = TJson::Null;
    } else {
      // Not strtod: the user's locale may write decimals with a comma.
      Value.Type = TJson::Number;
      const char* Begin = FText.data() + FAt;
      const auto [End, Error] = std::from_chars(Begin, FText.data() + FText.size(), Value.Value);
      if (Error != std::errc())
        Fail("value expected");
      FAt += static_cast<std::size_t>(End - Begin);
    }
    return Value;
  }

  unsigned Hex4() {
    if (FAt + 4 > FText.size())
      Fail("short \\u escape");
    unsigned Code = 0;
    for (int I = 0; I < 4; ++I) {
      const char C = FText[FAt++];
      Code <<= 4;
      if (C >= '0' && C <= '9')
        Code |= static_cast<unsigned>(C - '0');
      else if (C >= 'a' && C <= 'f')
        Code |= static_cast<unsigned>(C - 'a' + 10);
      else if (C >= 'A' && C <= 'F')
        Code |= static_cast<unsigned>(C - 'A' + 10);
      else
        Fail("bad \\u escape");
    }
    return Code;
  }

  static void AppendUtf8(std::string& aText, unsigned aCode) {
    if (aCode < 0x80) {
      aText += static_cast<char>(aCode);
    } else if (aCode < 0x800) {
      aText += static_cast<char>(0xC0 | (aCode >> 6));
      aText += static_cast<char>(0x80 | (aCode & 0x3F));
    } else if (aCode < 0x10000) {
      aText += static_cast<char>(0xE0 | (aCode >> 12));
      aText += static_cast<char>(0x80 | ((aCode >> 6) & 0x3F));
      aText += static_cast<char>(0x80 | (aCode & 0x3F));
    } else {
      aText += static_cast<char>(0xF0 | (aCode >> 18));
      aText += static_cast<char>(0x80 | ((aCode >> 12) & 0x3F));
      aText += static_cast<char>(0x80 | ((aCode >> 6) & 0x3F));
      aText += static_cast<char>(0x80 | (aCode & 0x3F));
    }
  }

  std::string ReadString() {
    ++FAt; // the opening quote
    std::string Text;
    for (;;) {
      if (FAt >= FText.size())
        Fail("unterminated string");
      const char C = FText[FAt++];
      if (C == '"')
        return Text;
      if (C != '\\') {
        Text += C;
        continue;
      }
      if (FAt >= FText.size())
        Fail("unterminated escape");
      const char E = FText[FAt++];
      switch (E) {
      case 'n':
        Text += '\n';
        break;
      case 't':
        Text += '\t';
        break;
      case 'r':
        Text += '\r';
        break;
      case 'b':
        Text += '\b';
        break;
      case 'f':
        Text += '\f';
        break;
      case 'u': {
        unsigned Code = Hex4();
        if (Code >= 0xD800 && Code < 0xDC00 && Word("\\u")) {
          const unsigned Low = Hex4();
          Code = Low >= 0xDC00 && Low < 0xE000 ? 0x10000 + ((Code - 0xD800) << 10) + (Low - 0xDC00)
                                               : 0xFFFD;
        } else if (Code >= 0xD800 && Code < 0xE000) {
          Code = 0xFFFD;
        }
        AppendUtf8(Text, Code);
        break;
      }
      default:
        Text += E; // \" \\ \/ and anything else as itself
      }
    }
  }

  std::string_view FText;
  std::size_t FAt = 0;
};

} // namespace

const TJson* TJson::Find(std::string_view aName) const {
  for (const auto& [Name, Value] : Members)
    if (Name == aName)
      return &Value;
  return nullptr;
}

std::string TJson::TextOf(std::string_view aName, std::string_view aDefault) const {
  const TJson* Member = Find(aName);
  return Member != nullptr && Member->Type == String ? Member->Text : std::string(aDefault);
}

double TJson::NumberOf(std::string_view aName, double aDefault) const {
  const TJson* Member = Find(aName);
  return Member != nullptr && Member->Type == Number ? Member->Value : aDefault;
}

TJson ReadJson(std::string_view aText) {
  return TJsonReader(aText).Document();
}

} // namespace Kalvoro
