#pragma once

#include "cipher/BlowfishCore.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace kestrune {

// One keyed cipher state and the enciphered byte, text and file formats
// built on it: 8 random bytes, the plaintext length (little-endian), the
// plaintext and zero fill to a multiple of 8, chained block by block from a
// zero start. An empty Key argument keeps the key in force. Not re-entrant:
// a Progress listener must not call back into the same object.
class clsBlowfish {
public:
    // Tables at their initial values, no key set.
    clsBlowfish();

    // Sets the key; the schedule runs only when the text differs from the
    // key in force, and always starts again from the initial tables. An empty
    // text raises "Invalid procedure call or argument" (5).
    void Key(const std::string& New_Value);

    // Enciphers the array in place into the enciphered layout.
    void EncryptByte(std::vector<std::uint8_t>& ByteArray, const std::string& Key);

    // Deciphers the array in place back to its plaintext. A length below 16
    // or not a multiple of 8 raises "Subscript out of range" (9), a size
    // descriptor out of range raises "Incorrect size descriptor in Blowfish
    // decryption"; the array then holds what was deciphered so far.
    void DecryptByte(std::vector<std::uint8_t>& ByteArray, const std::string& Key);

    // The enciphered layout of Text, as a byte string.
    std::string EncryptString(const std::string& Text, const std::string& Key);

    // The plaintext deciphered from the byte string Text; errors as DecryptByte.
    std::string DecryptString(const std::string& Text, const std::string& Key);

    // Enciphers SourceFile into DestFile (which may be the same file). A
    // missing source raises "Error in Skipjack EncryptFile procedure (Source
    // file does not exist)."; DestFile is replaced whole or not at all.
    void EncryptFile(const std::string& SourceFile, const std::string& DestFile, const std::string& Key);

    // Deciphers SourceFile into DestFile; errors as EncryptFile and DecryptByte.
    void DecryptFile(const std::string& SourceFile, const std::string& DestFile, const std::string& Key);

    // Raised with 0 first, then about once per percent, then 100 last.
    std::function<void(std::int32_t Percent)> Progress;

    // Enciphers one block in place with the tables in force.
    void EncryptBlock(std::uint32_t& L, std::uint32_t& R) const { blowfish::EncryptBlock(tables_, L, R); }

    // Deciphers one block in place with the tables in force.
    void DecryptBlock(std::uint32_t& L, std::uint32_t& R) const { blowfish::DecryptBlock(tables_, L, R); }

    // How many times the key schedule has run on this object.
    std::int32_t SchedulesRun() const { return schedulesRun_; }

private:
    class ProgressSchedule;

    void UseKey(const std::string& key);
    void Encipher(std::uint8_t* data, std::size_t plainSize, ProgressSchedule& progress);
    std::size_t Decipher(std::uint8_t* data, std::size_t size, ProgressSchedule& progress);
    void TransformFile(const std::string& SourceFile, const std::string& DestFile, const std::string& Key,
                       bool encipher);

    blowfish::Tables tables_;
    std::string currentKey_;
    std::int32_t schedulesRun_ = 0;
};

}  // namespace kestrune
