// Per-thread work buffers reused across calls. The per-band buffers of a long response cost
// more to allocate, zero and fault in than to fill, so each thread keeps its own; buffers
// beyond kKeptElements are made per call, so that idle threads do not hold many megabytes.
#pragma once

#include <cstddef>
#include <vector>

namespace vesk {

template <class T>
class Scratch {
  public:
    static constexpr std::size_t kKeptElements = std::size_t{1} << 20;
    // `kept` is a thread_local vector of the caller. The contents are unspecified.
    Scratch(std::vector<T>& kept, std::size_t n) {
        std::vector<T>& v = n <= kKeptElements ? kept : m_own;
        if (v.size() < n) v.resize(n);
        m_data = v.data();
    }
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;
    T* data() const { return m_data; }
    T& operator[](std::size_t i) const { return m_data[i]; }

  private:
    std::vector<T> m_own;
    T* m_data = nullptr;
};

}  // namespace vesk
