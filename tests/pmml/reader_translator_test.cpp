// The translator object: construction, copies and assignment share the model
// and keep their own field-name buffer and rule lists.

#include <memory>
#include <string>

#include "reader_support.h"

using namespace reader_test;

namespace {

const XMLCh kName[] = u"petal";

void WriteName(DendrixPMMLTranslator& t) {
  XMLCh* buffer = DendrixPMMLReaderTestAccess::MutableFieldNameBuffer(t);
  for (int i = 0; kName[i] != 0; ++i) {
    buffer[i] = kName[i];
  }
}

std::u16string Name(const DendrixPMMLTranslator& t) {
  return std::u16string(DendrixPMMLReaderTestAccess::FieldNameBuffer(t));
}

}  // namespace

TEST_F(ReaderTest, NewTranslatorsHoldTheirOwnEmptyModels) {
  DendrixPMMLTranslator first;
  DendrixPMMLTranslator second;
  DendrixPMMLModel* firstModel = DendrixPMMLReaderTestAccess::Model(first);
  DendrixPMMLModel* secondModel = DendrixPMMLReaderTestAccess::Model(second);
  ASSERT_NE(firstModel, nullptr);
  ASSERT_NE(secondModel, nullptr);
  EXPECT_NE(firstModel, secondModel);
  EXPECT_EQ(firstModel->GetRoot(), nullptr);
  EXPECT_EQ(Name(first), u"");
  EXPECT_EQ(DendrixPMMLReaderTestAccess::NodeIdCounter(first), 0);
  EXPECT_FALSE(DendrixPMMLReaderTestAccess::IsRuleSet(first));
  EXPECT_EQ(DendrixPMMLReaderTestAccess::Target(first), nullptr);
  // Models never handed out belong to nobody; release them here.
  delete firstModel;
  delete secondModel;
}

TEST_F(ReaderTest, CopiesShareTheModelAndOwnTheirBuffers) {
  auto original = std::make_unique<DendrixPMMLTranslator>();
  WriteName(*original);
  DendrixPMMLReaderTestAccess::RuleSplitVars(*original).resize(2);
  DendrixPMMLModel* model = DendrixPMMLReaderTestAccess::Model(*original);

  auto copy = std::make_unique<DendrixPMMLTranslator>(*original);
  EXPECT_EQ(DendrixPMMLReaderTestAccess::Model(*copy), model);
  EXPECT_NE(DendrixPMMLReaderTestAccess::FieldNameBuffer(*copy),
            DendrixPMMLReaderTestAccess::FieldNameBuffer(*original));
  EXPECT_EQ(Name(*copy), u"petal");
  EXPECT_EQ(DendrixPMMLReaderTestAccess::RuleSplitVars(*copy).size(), 2u);

  DendrixPMMLTranslator assigned;
  delete DendrixPMMLReaderTestAccess::Model(assigned);  // replaced by the shared one
  const XMLCh* ownBuffer = DendrixPMMLReaderTestAccess::FieldNameBuffer(assigned);
  assigned = *original;
  EXPECT_EQ(DendrixPMMLReaderTestAccess::Model(assigned), model);
  EXPECT_EQ(DendrixPMMLReaderTestAccess::FieldNameBuffer(assigned), ownBuffer);
  EXPECT_EQ(Name(assigned), u"petal");
  const DendrixPMMLTranslator& alias = assigned;
  assigned = alias;  // self-assignment keeps everything
  EXPECT_EQ(Name(assigned), u"petal");

  // Each destroys only its own buffer (the sanitizer build checks this) and
  // none of them the shared model.
  original.reset();
  EXPECT_EQ(Name(*copy), u"petal");
  copy.reset();
  EXPECT_EQ(model->GetRoot(), nullptr);
  delete model;
}

TEST_F(ReaderTest, CopyOfAFailedTranslatorGetsABufferOfItsOwn) {
  ReadOutcome failed = Read(Document(""));
  ASSERT_TRUE(failed.failed);
  ASSERT_EQ(DendrixPMMLReaderTestAccess::FieldNameBuffer(*failed.translator), nullptr);
  DendrixPMMLTranslator copy(*failed.translator);
  EXPECT_EQ(DendrixPMMLReaderTestAccess::Model(copy), nullptr);
  ASSERT_NE(DendrixPMMLReaderTestAccess::FieldNameBuffer(copy), nullptr);
  EXPECT_EQ(Name(copy), u"");

  DendrixPMMLTranslator fresh;
  WriteName(fresh);
  delete DendrixPMMLReaderTestAccess::Model(fresh);
  *failed.translator = fresh;
  EXPECT_EQ(Name(*failed.translator), u"petal");
}
