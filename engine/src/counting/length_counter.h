// SPDX-License-Identifier: MIT
#pragma once

#include "counting/counting_unit.h"

namespace kestrin {

// A unit that counts one sample length.
class LengthCounter : public CountingUnit
{
public:
    [[nodiscard]] std::int64_t Distinct(std::int64_t /*length*/) const final { return DistinctHere(); }

protected:
    explicit LengthCounter(std::int64_t sampleLength) : length(sampleLength) {}
    [[nodiscard]] virtual std::int64_t DistinctHere() const = 0;
    void VisitAll(std::int64_t /*length*/, std::size_t section, Visitor visit) const final
    {
        VisitHere(section, visit);
    }
    virtual void VisitHere(std::size_t section, Visitor visit) const = 0;

    std::int64_t length;
};

} // namespace kestrin
