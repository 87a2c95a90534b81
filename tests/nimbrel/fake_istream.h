// An IStream over a byte vector whose every answer a test can bend: failing or S_FALSE
// results, short counts, writes that take nothing, no name. It records the calls it gets.
#pragma once

#include <objidl.h>

#include <algorithm>
#include <cstring>
#include <deque>
#include <string>
#include <vector>

struct FakeIStream : IStream {
    struct Reply {
        HRESULT result;
        ULONG limit; // at most this many bytes per call
    };
    std::vector<uint8_t> data;
    size_t pos = 0;
    std::deque<Reply> reads;  // consumed one per Read; when empty: S_OK, no limit
    std::deque<Reply> writes; // the same for Write
    bool falseAtEnd = false; // a short read at the end answers S_FALSE, as many streams do
    HRESULT statResult = S_OK;
    HRESULT seekResult = S_OK;
    const wchar_t* name = nullptr;
    std::vector<std::string> calls; // "Read 10", "Seek 0 1", "Stat 1", "Commit 0", "SetSize 100"
    ULONG refs = 1;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override
    {
        if (iid == IID_IUnknown || iid == IID_IStream || iid == IID_ISequentialStream) {
            *out = this;
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
    ULONG STDMETHODCALLTYPE Release() override { return --refs; }

    HRESULT STDMETHODCALLTYPE Read(void* buffer, ULONG size, ULONG* got) override
    {
        calls.push_back("Read " + std::to_string(size));
        const Reply r = next(reads);
        ULONG n = std::min<ULONG>({size, r.limit, ULONG(data.size() - std::min(pos, data.size()))});
        std::copy_n(data.begin() + pos, n, static_cast<uint8_t*>(buffer));
        pos += n;
        *got = n;
        if (falseAtEnd && r.result == S_OK && n < size) return S_FALSE;
        return r.result;
    }
    HRESULT STDMETHODCALLTYPE Write(const void* buffer, ULONG size, ULONG* put) override
    {
        calls.push_back("Write " + std::to_string(size));
        const Reply r = next(writes);
        const ULONG n = std::min(size, r.limit);
        if (data.size() < pos + n) data.resize(pos + n);
        std::copy_n(static_cast<const uint8_t*>(buffer), n, data.begin() + pos);
        pos += n;
        *put = n;
        return r.result;
    }
    HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* now) override
    {
        calls.push_back("Seek " + std::to_string(move.QuadPart) + " " + std::to_string(origin));
        if (seekResult != S_OK) return seekResult;
        const int64_t base = origin == STREAM_SEEK_SET ? 0 : origin == STREAM_SEEK_CUR ? int64_t(pos) : int64_t(data.size());
        pos = size_t(base + move.QuadPart);
        if (now) now->QuadPart = pos;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetSize(ULARGE_INTEGER size) override
    {
        calls.push_back("SetSize " + std::to_string(size.QuadPart));
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*, ULARGE_INTEGER*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Commit(DWORD flags) override
    {
        calls.push_back("Commit " + std::to_string(flags));
        return E_FAIL;
    }
    HRESULT STDMETHODCALLTYPE Revert() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Stat(STATSTG* stat, DWORD flags) override
    {
        calls.push_back("Stat " + std::to_string(flags));
        if (statResult != S_OK) return statResult;
        *stat = STATSTG{};
        stat->cbSize.QuadPart = data.size();
        if (name && flags != STATFLAG_NONAME) {
            const size_t bytes = (wcslen(name) + 1) * sizeof(wchar_t);
            stat->pwcsName = static_cast<LPOLESTR>(CoTaskMemAlloc(bytes));
            memcpy(stat->pwcsName, name, bytes);
        }
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Clone(IStream**) override { return E_NOTIMPL; }

private:
    static Reply next(std::deque<Reply>& queue)
    {
        if (queue.empty()) return {S_OK, ~0UL};
        const Reply r = queue.front();
        queue.pop_front();
        return r;
    }
};
