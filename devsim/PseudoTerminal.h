#pragma once
// The serial side of brelinsim as a pseudo-terminal: a terminal program opened on Name() types
// into the device and shows what it sends. Raw mode, no echo; reads and writes never block.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

namespace devsim {

class PseudoTerminal {
public:
    // Null with `error` when the system refuses a pseudo-terminal.
    static std::unique_ptr<PseudoTerminal> Open(std::string& error);
    ~PseudoTerminal();
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    // The terminal's device name, e.g. /dev/pts/3.
    const std::string& Name() const { return name_; }
    // Polls readable while typed bytes wait for Read.
    int Descriptor() const { return master_; }

    // Bytes typed on the terminal, at most `buffer.size()`; 0 when none are waiting.
    std::size_t Read(std::span<std::uint8_t> buffer);
    // Sends bytes to the terminal. False when it cannot take them all now (nobody reads it); the
    // rest is lost, as on a serial line whose receiver does not keep up.
    bool Write(std::span<const std::uint8_t> bytes);

private:
    PseudoTerminal(int master, int slave, std::string name) : master_(master), slave_(slave), name_(std::move(name)) {}

    int master_;
    int slave_; // held open so that the terminal outlives the programs that open and close it
    std::string name_;
};

} // namespace devsim
