#pragma once
// Root of every output generator: one generator writes one document.
#include <boost/noncopyable.hpp>
#include <cstdint>

class DCDMLDocument;

class OutputGenerater : private boost::noncopyable {
  public:
    explicit OutputGenerater(int32_t familyCode) : familyCode_(familyCode) {}
    virtual ~OutputGenerater() = default;
    virtual void Make(DCDMLDocument& document) = 0;
    int32_t familyCode() const { return familyCode_; }

  protected:
    int32_t familyCode_;
};
