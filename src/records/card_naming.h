#pragma once
// Names and likenesses of cards: a file name made from a card's facts, and a
// fingerprint of its front that survives a second scan.
#include "records/card_facts.h"

#include <QImage>
#include <QString>

#include <cstdint>
#include <functional>

// The default pattern of file names from a card's facts.
QString DefaultCardNamePattern();

// The file name (without extension) the pattern gives for these facts: every
// {column} replaced by its value, characters that do not belong in a file name
// dropped. Empty when the name, the birth or the death is missing or uncertain,
// so the card keeps its numbered name. taken tells whether a name (with the
// extension) is in use: a second card of the same person gets "-2", and so on.
QString CardFileName(const QString &pattern, const CardFacts &facts, const QString &extension,
                     const std::function<bool(const QString &)> &taken);

// A 64-bit fingerprint of a picture's likeness (DCT of a small grey copy): the
// same card scanned again, at another resolution or slightly turned, gives a
// fingerprint a few bits away; another card one about half the bits away.
uint64_t LikenessHash(const QImage &picture);

// Bits in which two fingerprints differ.
int LikenessDistance(uint64_t a, uint64_t b);

// Whether two fingerprints are of the same picture.
bool SameLikeness(uint64_t a, uint64_t b);
