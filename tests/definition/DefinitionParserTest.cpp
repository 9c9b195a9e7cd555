#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <functional>

#include "common/WideText.h"
#include "common/myexception.h"
#include "definition/DefinitionParser.h"
#include "physics/FieldItemBox.h"
#include "physics/FieldItemComposite.h"
#include "physics/FieldItemSphere.h"
#include "support/ScopedEnvironment.h"
#include "support/TestSupport.h"

namespace {

// item definitions of the primitives, as every item folder holds them
const char* const kSphereDefinition = R"(<?xml version="1.0"?>
<FieldItem name="HalvaneSystem.sphere" format="110">
  <Attribute name="texture" type="string"/>
  <Attribute name="r" type="float"/>
  <Attribute name="density" type="float"/>
</FieldItem>)";

const char* const kBoxDefinition = R"(<?xml version="1.0"?>
<FieldItem name="HalvaneSystem.box" format="110">
  <Attribute name="texture_top" type="string"/>
  <Attribute name="texture_bottom" type="string"/>
  <Attribute name="texture_left" type="string"/>
  <Attribute name="texture_right" type="string"/>
  <Attribute name="texture_front" type="string"/>
  <Attribute name="texture_rear" type="string"/>
  <Attribute name="size_x" type="float"/>
  <Attribute name="size_y" type="float"/>
  <Attribute name="size_z" type="float"/>
  <Attribute name="density" type="float"/>
  <Attribute name="position" type="vector"/>
</FieldItem>)";

class DefinitionParserTest : public ::testing::Test {
protected:
    DefinitionParserTest() { environment_.Language("C"); }

    std::wstring Write(const std::string& name, const std::string& text) {
        std::string path = directory_.Path() + "/" + name;
        std::ofstream(path, std::ios::binary) << text;
        return std::wstring(path.begin(), path.end());
    }

    /// The text of the exception the call throws, or "" when it throws none.
    template <typename Call> std::wstring FailureOf(Call call) {
        try {
            call();
        } catch (const myexception& error) {
            return error.what();
        }
        return L"";
    }

    static bool EndsWith(const std::wstring& text, const std::wstring& tail) {
        return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
    }

    ScopedEnvironment environment_;
    TemporaryDirectory directory_;
    ScopedLogCapture log_{4, true};
    DefinitionParser parser_;
};

TEST_F(DefinitionParserTest, ItemDefinitionFaultsNameTheElementAndValue) {
    struct Case {
        const char* body;
        const wchar_t* expected;
    } cases[] = {
        {R"(<Field format="110"/>)", L"Root element must be FieldItem."},
        {R"(<FieldItem name="a" format="110"><Ref name="p" type="t"/><Ref name="p" type="t"/></FieldItem>)",
         L"Another Ref with the same name has been found."},
        {R"(<FieldItem name="a" format="110"><Shape/></FieldItem>)", L"Element[Shape]\r\nInvalid Element."},
        {R"(<FieldItem name="a" format="110"><Attribute name="k" type="float"/><Attribute name="k" type="vector"/></FieldItem>)",
         L"Attribute[k]\r\nAnother Attribute with the same name has been found."},
        {R"(<FieldItem name="a" format="110"><Attribute name="k" type="int"/></FieldItem>)",
         L"[int]\r\nInvalid attribute type."},
        {R"(<FieldItem name="a" format="110"><Ref name="p" type="t" fixed="yes"/></FieldItem>)",
         L"fixed[yes]\r\nIt must be 'true' or 'false'."},
        {R"(<FieldItem name="a" format="110"><Ref name="p" type="t"><Value/></Ref></FieldItem>)",
         L"Element[p]\r\nInvalid Element."},
        {R"(<FieldItem name="a" format="110"><Ref name="p" type="t"><Parameter name="r" type="float">1</Parameter><Parameter name="r" type="float">2</Parameter></Ref></FieldItem>)",
         L"Parameter[r]\r\nAnother Parameter with the same name has been found."},
        {R"(<FieldItem name="a"/>)", L"]\r\nversion[]\r\nThis file format is not supported."},
        {R"(<FieldItem name="a" format="111"/>)", L"]\r\nversion[111]\r\nThis file format is not supported."},
    };
    int index = 0;
    for (const Case& c : cases) {
        std::wstring path = Write("case" + std::to_string(index++) + ".wti", c.body);
        std::wstring message = FailureOf([&] { parser_.LoadFieldItem(path); });
        EXPECT_EQ(message.rfind(L"Failed to load the FieldItem definition file [" + path + L"].\r\n", 0), 0u)
            << std::string(message.begin(), message.end());
        EXPECT_TRUE(EndsWith(message, c.expected)) << std::string(message.begin(), message.end());
    }
    EXPECT_TRUE(parser_.Definitions().empty());
    // each failure leaves its Japanese record in the log
    std::size_t wrapped = 0;
    for (const auto& record : log_.Writer().Errors()) {
        wrapped += record.message.find(L"のロードに失敗しました。") != std::wstring::npos ? 1 : 0;
    }
    EXPECT_EQ(wrapped, std::size(cases));
}

TEST_F(DefinitionParserTest, VersionsAndNamesFollowTheFormatRules) {
    // the root name is compared without letter case; 110.9 truncates to 110; text reads as 0
    parser_.LoadFieldItem(Write("a.wti", R"(<fielditem name="a" format="110.9"/>)"));
    parser_.LoadFieldItem(Write("b.wti", R"(<FIELDITEM name="b" format="100"/>)"));
    parser_.LoadFieldItem(Write("c.wti", R"(<FieldItem name="c" format="new"/>)"));
    EXPECT_EQ(parser_.Definitions().size(), 3u);

    // a second definition of a name fails, and the first stays usable
    std::wstring second = Write("a2.wti", R"(<FieldItem name="a" format="110"/>)");
    std::wstring message = FailureOf([&] { parser_.LoadFieldItem(second); });
    EXPECT_TRUE(EndsWith(message, L"Another FieldItem with the same name has been found.")) << message.size();
    EXPECT_EQ(parser_.Definitions().count(L"a"), 1u);

    EXPECT_EQ(parser_.CheckVersion(L"f", L"110"), 110);
    EXPECT_EQ(parser_.CheckVersion(L"f", L"1e2"), 100);
    EXPECT_THROW(parser_.CheckVersion(L"f", L"1e300"), DefinitionParser::version_error);
    EXPECT_THROW(parser_.CheckVersion(L"f", L""), DefinitionParser::version_error);
}

TEST_F(DefinitionParserTest, ResolveChecksEveryReferenceAndRejectsCycles) {
    parser_.LoadFieldItem(Write("sphere.wti", kSphereDefinition));
    parser_.LoadFieldItem(
        Write("a.wti", R"(<FieldItem name="a" format="110"><Ref name="p" type="missing"/></FieldItem>)"));
    EXPECT_EQ(FailureOf([&] { parser_.Resolve(); }),
              L"FieldItem[a]\r\nRef[missing]\r\nFieldItem is not defined.");

    DefinitionParser undeclared;
    undeclared.LoadFieldItem(Write("sphere.wti", kSphereDefinition));
    undeclared.LoadFieldItem(
        Write("b.wti", R"(<FieldItem name="b" format="110"><Ref name="p" type="HalvaneSystem.sphere">
        <Parameter name="texture" type="string">"x.png"</Parameter><Parameter name="r" type="float">1</Parameter>
        <Parameter name="density" type="float">1</Parameter><Parameter name="colour" type="float">1</Parameter>
        </Ref></FieldItem>)"));
    EXPECT_EQ(FailureOf([&] { undeclared.Resolve(); }),
              L"FieldItem[b]\r\nRef[HalvaneSystem.sphere]\r\nParameter[colour]\r\nParameter is not defined "
              L"as Attribute.");

    DefinitionParser missing;
    missing.LoadFieldItem(Write("sphere.wti", kSphereDefinition));
    missing.LoadFieldItem(
        Write("c.wti", R"(<FieldItem name="c" format="110"><Ref name="p" type="HalvaneSystem.sphere">
        <Parameter name="texture" type="string">"x.png"</Parameter><Parameter name="r" type="float">1</Parameter>
        </Ref></FieldItem>)"));
    EXPECT_EQ(FailureOf([&] { missing.Resolve(); }),
              L"FieldItem[c]\r\nRef[HalvaneSystem.sphere]\r\nAttribute[density]\r\nParameter needed for the "
              L"Attribute.");

    DefinitionParser cyclic;
    cyclic.LoadFieldItem(
        Write("x.wti", R"(<FieldItem name="x" format="110"><Ref name="p" type="y"/></FieldItem>)"));
    cyclic.LoadFieldItem(
        Write("y.wti", R"(<FieldItem name="y" format="110"><Ref name="q" type="x"/></FieldItem>)"));
    EXPECT_EQ(FailureOf([&] { cyclic.Resolve(); }),
              L"FieldItem[x]\r\nRef[y]\r\nRef[x]\r\nThe FieldItem refers to itself through its Refs.");

    DefinitionParser selfReferring;
    selfReferring.LoadFieldItem(
        Write("s.wti", R"(<FieldItem name="s" format="110"><Ref name="p" type="s"/></FieldItem>)"));
    EXPECT_EQ(FailureOf([&] { selfReferring.Resolve(); }),
              L"FieldItem[s]\r\nRef[s]\r\nThe FieldItem refers to itself through its Refs.");
}

TEST_F(DefinitionParserTest, FieldDefinitionFaultsAreReportedWithTheirTexts) {
    parser_.LoadFieldItem(Write("sphere.wti", kSphereDefinition));
    parser_.LoadFieldItem(
        Write("k.wti", R"(<FieldItem name="k" format="110"><Attribute name="k" type="float"/></FieldItem>)"));
    parser_.Resolve();
    struct Case {
        const char* body;
        const wchar_t* expected;
    } cases[] = {
        {R"(<FieldItem format="110"/>)", L"Root element must be Field."},
        {R"(<Field format="110"><Scene/></Field>)", L"Element[Scene]\r\nInvalid Element."},
        {R"(<Field format="110"><Const name="c" type="float">1</Const><Const name="c" type="float">2</Const></Field>)",
         L"Const[c]\r\nAnother Const with the same name has been found."},
        {R"(<Field format="110"><Const name="c" type="int">1</Const></Field>)",
         L"Const[c]\r\ntype[int]\r\nIt must be 'float'."},
        {R"(<Field format="110"><Const name="k" type="float">1</Const><Item name="i" type="k"/><Item name="i" type="k"/></Field>)",
         L"Another Object with the same name has been found."},
        {R"(<Field format="110"><Item name="i" type="nothing"/></Field>)",
         L"Type[nothing]\r\nFieldItem is not defined."},
        {R"(<Field format="110"><Item name="i" type="k"><Parameter name="k" type="float">1</Parameter><Parameter name="z" type="float">1</Parameter></Item></Field>)",
         L"FieldItem[k]\r\nParameter[z]\r\nParameter is not defined as Attribute."},
        {R"(<Field format="110"><Item name="i" type="k"/></Field>)",
         L"FieldItem[k]\r\nAttribute[k]\r\nParameter needed for the Attribute."},
        // an Item sees only the constants written before it
        {R"(<Field format="110"><Item name="i" type="k"/><Const name="k" type="float">1</Const></Field>)",
         L"FieldItem[k]\r\nAttribute[k]\r\nParameter needed for the Attribute."},
    };
    int index = 0;
    for (const Case& c : cases) {
        std::wstring path = Write("field" + std::to_string(index++) + ".wtf", c.body);
        DefinitionSummary summary;
        DefinitionParser::ItemMap items;
        std::wstring message = FailureOf([&] { parser_.LoadField(path, items, summary, false); });
        EXPECT_EQ(message.rfind(L"Failed to load the Field definition file [" + path + L"].\r\n", 0), 0u);
        EXPECT_TRUE(EndsWith(message, c.expected)) << index;
    }
    // a constant of the attribute's name satisfies it
    DefinitionSummary summary;
    DefinitionParser::ItemMap items;
    parser_.LoadField(
        Write(
            "ok.wtf",
            R"(<Field format="110"><Const name="k" type="Float">1</Const><Item name="i" type="k"/></Field>)"),
        items, summary, false);
    ASSERT_EQ(items.size(), 1u);
    EXPECT_TRUE(items.begin()->second->IsComposite());
}

TEST_F(DefinitionParserTest, EvaluateFollowsTheValueSyntax) {
    DefinitionParser::Context context = {{L"w", FieldItemAttribute::kFloat, L"0.5"},
                                         {L"third", FieldItemAttribute::kFloat, L"1/3"},
                                         {L"name", FieldItemAttribute::kString, L"\"ball.png\""},
                                         {L"where", FieldItemAttribute::kVector, L"1,2,3"}};
    EXPECT_EQ(parser_.Evaluate(context, FieldItemAttribute::kFloat, L"x", L"2*w"), L"1");
    EXPECT_EQ(parser_.Evaluate(context, FieldItemAttribute::kFloat, L"x", L"PI"), L"3.14159");
    // variables are the six-digit results held in single precision
    EXPECT_EQ(parser_.Evaluate(context, FieldItemAttribute::kFloat, L"x", L"third*3000000"), L"999999");
    // 0.5 is exact in single precision, 0.1 is not: the float's error of 1.49e-9 shows when scaled
    DefinitionParser::Context tenth = {{L"v", FieldItemAttribute::kFloat, L"0.1"}};
    EXPECT_EQ(parser_.Evaluate(tenth, FieldItemAttribute::kFloat, L"x", L"(v-0.1)*1e8"), L"0.149012");
    EXPECT_EQ(parser_.Evaluate(context, FieldItemAttribute::kFloat, L"x", L"(w-0.5)*1e8"), L"0");
    EXPECT_EQ(parser_.Evaluate(context, FieldItemAttribute::kString, L"t", L"\"a.png\""), L"\"a.png\"");
    EXPECT_EQ(parser_.Evaluate(context, FieldItemAttribute::kString, L"t", L"name"), L"\"ball.png\"");
    EXPECT_EQ(parser_.Evaluate(context, FieldItemAttribute::kVector, L"v", L"where"), L"1,2,3");
    EXPECT_EQ(parser_.Evaluate(context, FieldItemAttribute::kVector, L"v", L"0,10 ,w*2,"), L"0,10,1");

    EXPECT_EQ(FailureOf([&] { parser_.Evaluate(context, FieldItemAttribute::kFloat, L"k", L"1/0"); }),
              L"name[k]\r\nvalue[1/0]\r\nInvalid Formula.（Division by zero.）");
    EXPECT_EQ(FailureOf([&] { parser_.Evaluate(context, FieldItemAttribute::kString, L"t", L"ball.png"); }),
              L"name[t]\r\nvalue[ball.png]\r\nInvalid Formula. String must be either double quoted, or a "
              L"variable.");
    EXPECT_EQ(FailureOf([&] { parser_.Evaluate(context, FieldItemAttribute::kVector, L"v", L"0, 10 ,0"); }),
              L"name[v]\r\nvalue[0, 10 ,0]\r\nInvalid Vector.（Syntax error.）");
    EXPECT_EQ(FailureOf([&] { parser_.Evaluate(context, FieldItemAttribute::kVector, L"v", L"1,2"); }),
              L"name[v]\r\nvalue[1,2]\r\nIt must be 'x,y,z'.");
    // a faulty float entry of the context fails every evaluation that sees it
    DefinitionParser::Context broken = {{L"bad", FieldItemAttribute::kFloat, L"(1"}};
    EXPECT_EQ(FailureOf([&] { parser_.Evaluate(broken, FieldItemAttribute::kFloat, L"x", L"1"); }),
              L"name[bad]\r\nvalue[(1]\r\nInvalid Formula.（Syntax error.）");
}

TEST_F(DefinitionParserTest, EachFaultLeavesItsJapaneseRecordBeforeTheWrappingOne) {
    parser_.LoadFieldItem(
        Write("k.wti", R"(<FieldItem name="k" format="110"><Attribute name="k" type="float"/></FieldItem>)"));
    parser_.LoadFieldItem(
        Write("a.wti", R"(<FieldItem name="a" format="110"><Ref name="p" type="missing"/></FieldItem>)"));
    DefinitionParser::Context context;
    auto field = [&](const std::string& name, const std::string& body) {
        return [this, path = Write(name, body)] {
            DefinitionSummary summary;
            DefinitionParser::ItemMap items;
            parser_.LoadField(path, items, summary, false);
        };
    };
    const std::pair<std::function<void()>, std::wstring> cases[] = {
        {[&] { parser_.CheckVersion(L"f", L""); },
         L"file[f]version[]対応していない定義ファイルフォーマットです。"},
        {[&] { parser_.Evaluate(context, FieldItemAttribute::kFloat, L"k", L"1/0"); },
         L"name[k]value[1/0]不正な数式です。（Division by zero.）"},
        {[&] { parser_.Evaluate(context, FieldItemAttribute::kString, L"t", L"ball.png"); },
         L"name[t]value[ball.png]不正な文字列です。文字列は\"\"で囲んだものか，変数を直接指定して下さい。"},
        {[&] { parser_.Evaluate(context, FieldItemAttribute::kVector, L"v", L"1,2"); },
         L"name[v]value[1,2]x,y,zの形式になっていません。"},
        {[&] { parser_.Evaluate(context, FieldItemAttribute::kVector, L"v", L"1,,2"); },
         L"name[v]value[1,,2]不正なVectorです。（Syntax error.）"},
        {[&] { parser_.Resolve(); }, L"FieldItem[a]Ref[missing]参照先のFieldItemが定義されていません。"},
        {field("e.wtf", R"(<Field format="110"><Scene/></Field>)"), L"Element[Scene]が不明です。"},
        {field("c.wtf", R"(<Field format="110"><Const name="c" type="int">1</Const></Field>)"),
         L"Const[c]type[int]Constはfloatのみがサポートされています。"},
        {field("p.wtf",
               R"(<Field format="110"><Item name="i" type="k"><Parameter name="z" type="float">1</Parameter>
            </Item></Field>)"),
         L"FieldItem[k]Parameter[z]Parameterは，Attributeとして宣言されていません。"},
        {field("a.wtf", R"(<Field format="110"><Item name="i" type="k"/></Field>)"),
         L"FieldItem[k]Attribute[k]AttributeがParameterで渡されていません。"},
        {field("t.wtf", R"(<Field format="110"><Item name="i" type="none"/></Field>)"),
         L"Type[none]Typeで参照されているFieldItemがありません。"},
    };
    for (const auto& [call, expected] : cases) {
        log_.Writer().Clear();
        EXPECT_NE(FailureOf(call), L"");
        std::vector<RecordingLogWriter::Record> errors = log_.Writer().Errors();
        ASSERT_FALSE(errors.empty()) << ToUtf8(expected);
        EXPECT_EQ(errors[0].message, expected) << ToUtf8(errors[0].message);
        EXPECT_EQ(errors[0].sourceFile, L".\\DefinitionParser");
        // a field definition file's fault is followed by the record naming the file
        if (errors.size() > 1) {
            EXPECT_EQ(errors.size(), 2u);
            EXPECT_TRUE(EndsWith(errors[1].message, L".wtf]のロードに失敗しました。"))
                << ToUtf8(errors[1].message);
        }
    }
}

TEST_F(DefinitionParserTest, SummaryComesFromTheHeaderInTheUserLanguage) {
    DefinitionSummary summary;
    DefinitionParser::ItemMap items;
    parser_.LoadField(
        Write("old.wtf", R"(<Field format="100" name="Old" author="A" date="2008" comment="a\r\nb"/>)"),
        items, summary, true);
    EXPECT_EQ(summary.name, L"Old");
    EXPECT_EQ(summary.author, L"A");
    EXPECT_EQ(summary.date, L"2008");
    EXPECT_EQ(summary.comment, L"a\r\nb");

    std::wstring path = Write("info.wtf", R"(<Field format="100" name="Old">
        <Information xml:lang="en" name="Ball" author="B" comment="one"/>
        <Information xml:lang="ja" name="ボール" author="B" comment="一"/></Field>)");
    parser_.LoadField(path, items, summary, true);
    EXPECT_EQ(summary.name, L"Ball");
    EXPECT_EQ(summary.path, path);
    {
        ScopedEnvironment japanese;
        japanese.Language("ja_JP.UTF-8");
        parser_.LoadField(path, items, summary, true);
        EXPECT_EQ(summary.name, L"ボール");
        EXPECT_EQ(summary.comment, L"一");
    }
    // the new format ignores the root's descriptive attributes
    DefinitionSummary fresh;
    parser_.LoadField(Write("new.wtf", R"(<Field format="110" name="Ignored"/>)"), items, fresh, true);
    EXPECT_EQ(fresh.name, L"");
}

TEST_F(DefinitionParserTest, CreateItemBuildsNestedTypesWithParametersPassedDown) {
    parser_.LoadFieldItem(Write("sphere.wti", kSphereDefinition));
    parser_.LoadFieldItem(Write("box.wti", kBoxDefinition));
    parser_.LoadFieldItem(Write("plate.wti", R"(<FieldItem name="plate" format="110">
        <Attribute name="w" type="float"/>
        <Attribute name="position" type="vector"/>
        <Ref name="slab" type="HalvaneSystem.box" fixed="TRUE">
          <Parameter name="texture_top" type="string">"t.png"</Parameter>
          <Parameter name="texture_bottom" type="string">"t.png"</Parameter>
          <Parameter name="texture_left" type="string">"t.png"</Parameter>
          <Parameter name="texture_right" type="string">"t.png"</Parameter>
          <Parameter name="texture_front" type="string">"t.png"</Parameter>
          <Parameter name="texture_rear" type="string">"t.png"</Parameter>
          <Parameter name="size_x" type="float">2*w</Parameter>
          <Parameter name="size_y" type="float">0.1</Parameter>
          <Parameter name="size_z" type="float">w</Parameter>
          <Parameter name="density" type="float">1000</Parameter>
          <Parameter name="position" type="vector">0,1,0</Parameter>
        </Ref>
      </FieldItem>)"));
    parser_.LoadFieldItem(Write(
        "empty.wti",
        R"(<FieldItem name="empty" format="110"><Attribute name="position" type="vector"/></FieldItem>)"));
    parser_.Resolve();

    DefinitionSummary summary;
    DefinitionParser::ItemMap items;
    std::wstring field = Write("f.wtf", R"(<Field format="110">
        <Const name="half" type="float">0.5</Const>
        <Item name="p" type="plate"><Parameter name="w" type="float">half</Parameter>
          <Parameter name="position" type="vector">3,0,0</Parameter></Item>
        <Item name="e" type="empty"><Parameter name="position" type="vector">0,2,0</Parameter></Item>
      </Field>)");
    std::wstring failure = FailureOf([&] { parser_.LoadField(field, items, summary, false); });
    ASSERT_EQ(failure, L"") << ToUtf8(failure);
    ASSERT_EQ(items.size(), 2u);

    auto& plate = static_cast<FieldItemComposite&>(*items.at(L"p"));
    EXPECT_EQ(plate.TypeName(), L"plate");
    ASSERT_EQ(plate.Pending().size() + plate.Members().size(), 1u);
    FieldItem* slab = plate.Pending().empty() ? plate.Members().begin()->second.get()
                                              : plate.Pending().begin()->second.get();
    auto* box = dynamic_cast<FieldItemBox*>(slab);
    ASSERT_NE(box, nullptr);
    EXPECT_DOUBLE_EQ(box->SizeX(), 1.0);
    EXPECT_DOUBLE_EQ(box->SizeZ(), 0.5);
    EXPECT_TRUE(box->IsFixed());
    // the item's own position places the composite; the part's position is its own
    EXPECT_NEAR(plate.Transform()._41, 3.0f, 1e-5);
    EXPECT_NEAR(plate.Transform()._42, 1.0f, 1e-5);

    // a type without parts is an empty composite placed by its parameters, without NaN
    FieldItem& empty = *items.at(L"e");
    EXPECT_TRUE(empty.IsComposite());
    EXPECT_EQ(empty.Mass(), 0.0);
    EXPECT_FLOAT_EQ(empty.Transform()._42, 2.0f);
    EXPECT_FALSE(std::isnan(empty.Transform()._41));
}

TEST_F(DefinitionParserTest, PlacementsBeyondSinglePrecisionAreRejected) {
    parser_.LoadFieldItem(
        Write("empty.wti", R"(<FieldItem name="empty" format="110"><Attribute name="position" type="vector"/>
        <Attribute name="angle" type="vector"/></FieldItem>)"));
    parser_.Resolve();
    // 1e39 is a finite double but no float: the item would start at infinity and turn to NaN
    const std::pair<const char*, const wchar_t*> cases[] = {
        {R"(<Parameter name="position" type="vector">0,1e39,0</Parameter>
            <Parameter name="angle" type="vector">0,0,0</Parameter>)",
         L"name[position]\r\nvalue[0,1e39,0]\r\nInvalid Vector.（Overflow.）"},
        {R"(<Parameter name="position" type="vector">0,0,0</Parameter>
            <Parameter name="angle" type="vector">-4e38,0,0</Parameter>)",
         L"name[angle]\r\nvalue[-4e38,0,0]\r\nInvalid Vector.（Overflow.）"},
    };
    int index = 0;
    for (const auto& [parameters, expected] : cases) {
        std::wstring path = Write("far" + std::to_string(index++) + ".wtf",
                                  std::string(R"(<Field format="110"><Item name="e" type="empty">)") +
                                      parameters + "</Item></Field>");
        DefinitionSummary summary;
        DefinitionParser::ItemMap items;
        std::wstring message = FailureOf([&] { parser_.LoadField(path, items, summary, false); });
        EXPECT_TRUE(EndsWith(message, expected)) << ToUtf8(message);
        EXPECT_TRUE(items.empty());
    }
    // the largest single-precision values are still accepted
    DefinitionSummary summary;
    DefinitionParser::ItemMap items;
    parser_.LoadField(Write("near.wtf", R"(<Field format="110"><Item name="e" type="empty">
        <Parameter name="position" type="vector">0,3e38,0</Parameter>
        <Parameter name="angle" type="vector">0,0,0</Parameter></Item></Field>)"),
                      items, summary, false);
    ASSERT_EQ(items.size(), 1u);
    EXPECT_FLOAT_EQ(items.at(L"e")->Transform()._42, 3e38f);
}

TEST_F(DefinitionParserTest, TypesThatMultiplyTheirPartsAreRefusedBeforeTheyExhaustMemory) {
    // each level holds the next one twice: 2^40 empty composites from a few small files
    constexpr int kLevels = 40;
    for (int level = 0; level < kLevels; ++level) {
        std::string refs;
        if (level + 1 < kLevels) {
            const std::string next = "level" + std::to_string(level + 1);
            refs = R"(<Ref name="a" type=")" + next + R"("/><Ref name="b" type=")" + next + R"("/>)";
        }
        const std::string name = "level" + std::to_string(level);
        parser_.LoadFieldItem(Write(name + ".wti", R"(<FieldItem name=")" + name + R"(" format="110">)" +
                                                       refs + "</FieldItem>"));
    }
    parser_.Resolve();
    DefinitionSummary summary;
    DefinitionParser::ItemMap items;
    std::wstring path = Write("many.wtf", R"(<Field format="110"><Item name="x" type="level0"/></Field>)");
    // the header alone is fine; instantiating stops at the item limit
    parser_.LoadField(path, items, summary, true);
    std::wstring message = FailureOf([&] { parser_.LoadField(path, items, summary, false); });
    EXPECT_TRUE(EndsWith(message, L"]\r\nThe FieldItem creates too many items.")) << ToUtf8(message);
    EXPECT_TRUE(items.empty());

    // a field of many items stays within the limit, as it is counted per item
    parser_.LoadFieldItem(Write("level0x.wti", R"(<FieldItem name="twelve" format="110">
        <Ref name="a" type="level28"/></FieldItem>)"));
    parser_.Resolve();
    std::string field = R"(<Field format="110">)";
    for (int i = 0; i < 3; ++i) {
        field += R"(<Item name="x)" + std::to_string(i) + R"(" type="twelve"/>)";
    }
    parser_.LoadField(Write("few.wtf", field + "</Field>"), items, summary, false);
    EXPECT_EQ(items.size(), 3u);
}

TEST_F(DefinitionParserTest, APrimitiveFieldThatNobodyPassedIsAnUndefinedName) {
    // a sphere definition that forgets "density": the part passes none, and the sphere reads it
    std::string sphere = kSphereDefinition;
    sphere.erase(sphere.find(R"(<Attribute name="density")"),
                 std::string(R"(<Attribute name="density" type="float"/>)").size());
    parser_.LoadFieldItem(Write("sphere.wti", sphere));
    parser_.Resolve();
    std::wstring path = Write("light.wtf", R"(<Field format="110"><Item name="b" type="HalvaneSystem.sphere">
        <Parameter name="texture" type="string">"b.png"</Parameter>
        <Parameter name="r" type="float">0.1</Parameter></Item></Field>)");
    DefinitionSummary summary;
    DefinitionParser::ItemMap items;
    parser_.LoadField(path, items, summary, true);
    std::wstring message = FailureOf([&] { parser_.LoadField(path, items, summary, false); });
    EXPECT_TRUE(EndsWith(message, L"name[density]\r\nvalue[density]\r\nInvalid Formula.（Syntax error.）"))
        << ToUtf8(message);
    EXPECT_TRUE(items.empty());
}

TEST_F(DefinitionParserTest, OldFormatsNamePrimitivesWithoutPrefix) {
    std::string sphere = kSphereDefinition;
    sphere.replace(sphere.find("HalvaneSystem.sphere"), 20, "sphere");
    parser_.LoadFieldItem(Write("sphere.wti", sphere));
    parser_.Resolve();
    const char* field = R"(<Field format="%d"><Item name="b" type="sphere">
        <Parameter name="texture" type="string">"b.png"</Parameter>
        <Parameter name="r" type="float">0.1</Parameter>
        <Parameter name="density" type="float">1000</Parameter></Item></Field>)";
    char text[512];
    std::snprintf(text, sizeof text, field, 100);
    DefinitionSummary summary;
    DefinitionParser::ItemMap items;
    parser_.LoadField(Write("old.wtf", text), items, summary, false);
    auto* ball = dynamic_cast<FieldItemSphere*>(items.at(L"b").get());
    ASSERT_NE(ball, nullptr);
    EXPECT_DOUBLE_EQ(ball->Radius(), 0.1);

    // with format 110 the bare word names the item definition "sphere", which has no parts
    std::snprintf(text, sizeof text, field, 110);
    DefinitionParser::ItemMap current;
    parser_.LoadField(Write("new.wtf", text), current, summary, false);
    EXPECT_TRUE(current.at(L"b")->IsComposite());
}

} // namespace
