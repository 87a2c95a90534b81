// The document implementation: one "DJVM" root for every kind of file, and its page list.
#pragma once

#include "djv_dictmap.h"
#include "djv_document.h"

namespace _Vtx_Internal_NS_ {

// Lets the reader go on after every error (the caller asked for recovery).
class RecoveryHandler final : public Vantorix::DjVu::IFFErrorRecoveryHandler {
public:
    bool onError(const Vantorix::Exception&) override { return true; }
};

class DocumentImpl : public Vantorix::DjVu::Document {
public:
    // top: the top-level chunk read from the file; records: its DJVU forms in file order.
    DocumentImpl(const Vantorix::AutoPtr<Vantorix::DjVu::Chunk>& top, const Vantorix::DjVu::IFF::FormRecords& records,
                 Kind kind);

    const Vantorix::DjVu::PageArray& getPages() const override { return pages_; }
    Vantorix::DjVu::PageArray& getPages() override { return pages_; }
    const Vantorix::DjVu::Chunk* getRoot() const override { return root_.get(); }
    Vantorix::DjVu::Chunk* getRoot() override { return root_.get(); }
    void rebuildPages() override;
    Vantorix::AutoPtr<Vantorix::DjVu::Bookmark> getBookmark() override;
    Kind getKind() const override { return kind_; }

    DictMap* getDictMap() { return dictMap_.get(); }

private:
    void init(const Vantorix::AutoPtr<Vantorix::DjVu::Chunk>& top, const Vantorix::DjVu::IFF::FormRecords& records);
    void attachThumbnails();

    Vantorix::AutoPtr<Vantorix::DjVu::Chunk> root_;
    Vantorix::AutoPtr<DictMap> dictMap_;
    Vantorix::DjVu::PageArray pages_;
    Vantorix::AutoPtr<Vantorix::DjVu::Bookmark> navigation_;
    Kind kind_;
};

} // namespace _Vtx_Internal_NS_
