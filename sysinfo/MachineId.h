#pragma once
// The short anonymous identifier of this installation that goes with update checks and problem reports:
// one-byte digests of a few machine properties, a purpose byte and a check byte, printed as four groups
// of four hexadecimal digits. Servers tell installations apart by it without receiving personal data.

class WString;

// Purpose bytes
enum : unsigned char { MACHINE_ID_PROBLEM_REPORT = 2, MACHINE_ID_UPDATE_CHECK = 4 };

class MachineId {
public:
    static const unsigned char FormatVersion = 0x10;
    enum Index { VERSION, PRODUCT_ID, OS_VERSION, SYSTEM_VOLUME, NETWORK_ADDRESS, DISKS, PURPOSE, CHECK, SIZE };

    // Reads the machine's properties afresh and seals the result.
    void Compute(unsigned char purpose);
    // Stores the check byte of bytes 0 to 6 in byte 7.
    void Seal();
    // The exclusive-or of the complements of bytes 0 to 6.
    unsigned char CheckByte() const;
    // The four little-endian words of the bytes as "%04X-%04X-%04X-%04X".
    int Format(WString& target) const;

    unsigned char bytes[SIZE] = {};
};

MachineId ComputeMachineId(unsigned char purpose);
int FormatMachineId(WString& target, unsigned char purpose);
