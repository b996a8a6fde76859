#pragma once
// A fixed-size table that takes memory only once something is written into
// it. The engine's per-stream tables are large and nearly always empty, and a
// long list keeps one engine per file waiting for its turn: reading an
// untouched table gives default values without allocating it.

#include <array>
#include <cstddef>
#include <memory>

template <typename T, std::size_t N>
class TOnDemandArray {
public:
    T& operator[](std::size_t index) {
        if (!items_) items_ = std::make_unique<std::array<T, N>>();
        return (*items_)[index];
    }
    const T& operator[](std::size_t index) const {
        static const T kUntouched{};
        return items_ ? (*items_)[index] : kUntouched;
    }

private:
    std::unique_ptr<std::array<T, N>> items_;
};
