#pragma once
// One polled I/O exchange with the module's node: the output bytes the master sends (as many as the
// node consumes) and the input bytes it answers (as many as it produces), kept as bytes and as
// the text "0A FF " (two upper-case hex digits and a space per byte).

#include "viewer/model/ItemBase.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace orv::viewer {

class Module;

class PollItem final : public ItemBase {
public:
    // The most a poll connection carries either way (64 I/O fragments of 7 bytes); larger sizes
    // are never exchanged.
    static constexpr int kMaxSize = 448;

    explicit PollItem(Module* owner) : owner_(owner) {}

    void SetName(std::string name) { name_ = std::move(name); }

    // Stores both sizes and gives each size above 0 a zeroed buffer; 0 and -1 leave it absent.
    bool SetSizes(int outputSize, int inputSize);
    // One exchange: the output bytes out, the input bytes in. Fails when the owner is not open,
    // a size is unknown or above kMaxSize, the driver fails, or the answer is not exactly the
    // input size; the input and text then stay as they were.
    bool Read() override;
    // Sets the output bytes the next Read sends (nothing is sent now). The encoded value must fit
    // the output size; raw bytes (kind 0) fill it exactly, read from a value of that size. Fails
    // when the output size is above kMaxSize.
    bool Write(const void* value, int kind, int size) override;
    // The response text of the last exchange.
    bool Format(std::string& text, int type) override;

    int OutputSize() const { return outputSize_; }
    int InputSize() const { return inputSize_; }
    const std::vector<std::uint8_t>& Output() const { return output_; }
    const std::vector<std::uint8_t>& Input() const { return input_; }
    const std::string& ResponseText() const { return response_; }

private:
    Module* owner_;
    int outputSize_ = -1;
    int inputSize_ = -1;
    std::vector<std::uint8_t> output_;
    std::vector<std::uint8_t> input_;
    std::string response_;
};

} // namespace orv::viewer
