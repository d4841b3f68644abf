#pragma once

#include "cipher/BlowfishCore.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace kestrune {

// A keyed cipher state and its enciphered formats; an empty Key argument keeps the key in force.
class clsBlowfish {
public:
    // Tables at their initial values from pi, no key set.
    clsBlowfish();

    // Reschedules from the initial tables when the text changes; "" raises error 5.
    void Key(const std::string& New_Value);

    // Enciphers the array in place into the enciphered layout.
    void EncryptByte(std::vector<std::uint8_t>& ByteArray, const std::string& Key);

    // Deciphers in place; on error the array keeps what was deciphered so far.
    void DecryptByte(std::vector<std::uint8_t>& ByteArray, const std::string& Key);

    // The enciphered layout of Text, as a byte string.
    std::string EncryptString(const std::string& Text, const std::string& Key);

    // The plaintext of the byte string Text; errors as DecryptByte, Text untouched.
    std::string DecryptString(const std::string& Text, const std::string& Key);

    // Enciphers SourceFile into DestFile, which is replaced whole or not at all.
    void EncryptFile(const std::string& SourceFile, const std::string& DestFile, const std::string& Key);

    // Deciphers SourceFile into DestFile, which is replaced whole or not at all.
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
