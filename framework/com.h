// COM ownership: an interface pointer released exactly once, and a shared system string.
#pragma once
#include <windows.h>
#include <oleauto.h>

#include <new>
#include <utility>

namespace fw {

template <typename T>
class ComPtr {
public:
    ComPtr() = default;
    ~ComPtr() { reset(); }
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;
    ComPtr(ComPtr&& o) noexcept : m_p(std::exchange(o.m_p, nullptr)) {}
    ComPtr& operator=(ComPtr&& o) noexcept {
        if (this != &o) {
            reset();
            m_p = std::exchange(o.m_p, nullptr);
        }
        return *this;
    }
    T* get() const { return m_p; }
    T* operator->() const { return m_p; }
    explicit operator bool() const { return m_p != nullptr; }
    // For out-parameters: the pointer is released and nulled first.
    T** put() {
        reset();
        return &m_p;
    }
    void reset() {
        if (m_p) std::exchange(m_p, nullptr)->Release();
    }

private:
    T* m_p = nullptr;
};

// Thrown when a COM-style allocation fails (E_OUTOFMEMORY).
struct ComError {
    HRESULT hr;
};

// A reference-counted holder of one BSTR copy: the string is freed when the last
// holder goes. Copies of the holder share the string.
class SharedBstr {
public:
    SharedBstr() = default;
    // Throws ComError{E_OUTOFMEMORY} when the copy or its holder cannot be allocated.
    explicit SharedBstr(const wchar_t* text) {
        m_data = new (std::nothrow) Data;
        if (!m_data) throw ComError{E_OUTOFMEMORY};
        m_data->str = ::SysAllocString(text);
        if (!m_data->str) {
            delete m_data;
            m_data = nullptr;
            throw ComError{E_OUTOFMEMORY};
        }
    }
    SharedBstr(const SharedBstr& o) : m_data(o.m_data) {
        if (m_data) ++m_data->refs;
    }
    SharedBstr& operator=(SharedBstr o) {
        std::swap(m_data, o.m_data);
        return *this;
    }
    ~SharedBstr() { reset(); }
    void reset() {
        if (m_data && --m_data->refs == 0) {
            ::SysFreeString(m_data->str);
            delete m_data;
        }
        m_data = nullptr;
    }
    BSTR get() const { return m_data ? m_data->str : nullptr; }

private:
    struct Data {
        BSTR str = nullptr;
        long refs = 1;
    };
    Data* m_data = nullptr;
};

}  // namespace fw
