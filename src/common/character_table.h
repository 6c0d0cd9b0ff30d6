#pragma once
// Accented and special Latin characters with their codes in the old code pages.
#include <QChar>
#include <array>
#include <cstdint>

struct CharacterRow {
    std::uint8_t DosCode;      // code page 850 (0 where none was stored)
    std::uint8_t AnsiCode;     // Windows code page 1252
    std::uint8_t AnselCode[2]; // diacritic + base letter, or 0 + single code, or 0 0
    const char *Plain;         // ASCII transliteration
    const char *LowerForm;     // UTF-8; for a capital, its small letter
    const char *UpperForm;     // UTF-8; for a small letter, its capital
};

extern const std::array<CharacterRow, 71> CharacterTable;

// The character a code page 1252 byte stands for.
QChar AnsiToChar(std::uint8_t code);
