// The translator object: copies and assignment share the model and keep their
// own field-name buffer and rule lists.

#include <algorithm>
#include <memory>
#include <string>

#include "reader_support.h"

using namespace reader_test;

namespace {

void WriteName(DendrixPMMLTranslator& t) {
  const std::u16string name = u"petal";
  std::copy(name.begin(), name.end(), Peer::MutableFieldNameBuffer(t));
}

std::u16string Name(const DendrixPMMLTranslator& t) {
  return std::u16string(Peer::FieldNameBuffer(t));
}

}  // namespace

TEST_F(ReaderTest, CopiesShareTheModelAndOwnTheirBuffers) {
  auto original = std::make_unique<DendrixPMMLTranslator>();
  DendrixPMMLModel* model = Peer::Model(*original);
  ASSERT_NE(model, nullptr);
  EXPECT_EQ(Name(*original), u"");
  WriteName(*original);
  Peer::RuleSplitVars(*original).resize(2);

  auto copy = std::make_unique<DendrixPMMLTranslator>(*original);
  EXPECT_EQ(Peer::Model(*copy), model);
  EXPECT_NE(Peer::FieldNameBuffer(*copy), Peer::FieldNameBuffer(*original));
  EXPECT_EQ(Name(*copy), u"petal");
  EXPECT_EQ(Peer::RuleSplitVars(*copy).size(), 2u);

  DendrixPMMLTranslator assigned;
  EXPECT_NE(Peer::Model(assigned), model);  // each new translator makes its own
  const XMLCh* ownBuffer = Peer::FieldNameBuffer(assigned);
  assigned = *original;
  EXPECT_EQ(Peer::Model(assigned), model);
  EXPECT_EQ(Peer::FieldNameBuffer(assigned), ownBuffer);
  EXPECT_EQ(Name(assigned), u"petal");
  const DendrixPMMLTranslator& alias = assigned;
  assigned = alias;  // self-assignment keeps everything
  EXPECT_EQ(Name(assigned), u"petal");

  // Each destroys only its own buffer (the sanitizer build checks this); the
  // shared model goes with the translator that made it, not with a copy.
  copy.reset();
  EXPECT_EQ(Name(*original), u"petal");
  EXPECT_EQ(model->GetRoot(), nullptr);
  original.reset();
}

TEST_F(ReaderTest, CopyOfAFailedTranslatorGetsABufferOfItsOwn) {
  ReadOutcome failed = Read(Document(""));
  ASSERT_TRUE(failed.failed);
  ASSERT_EQ(Peer::FieldNameBuffer(*failed.translator), nullptr);
  DendrixPMMLTranslator copy(*failed.translator);
  EXPECT_EQ(Peer::Model(copy), nullptr);
  ASSERT_NE(Peer::FieldNameBuffer(copy), nullptr);
  EXPECT_EQ(Name(copy), u"");

  DendrixPMMLTranslator fresh;
  WriteName(fresh);
  *failed.translator = fresh;
  EXPECT_EQ(Name(*failed.translator), u"petal");
}
