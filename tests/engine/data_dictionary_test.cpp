#include "engine/data_dictionary.h"

#include <gtest/gtest.h>

#include <QSqlError>
#include <QSqlQuery>

#include "engine/data_components.h"
#include "engine/data_connection.h"
#include "engine/dataset.h"

namespace orv {
namespace {

class Dictionary : public ::testing::Test {
 protected:
  void SetUp() override {
    db_ = openDatabaseUrl("sqlite::memory:");
    QSqlQuery q(db_);
    for (const char* sql :
         {"CREATE TABLE orders (Amount REAL, \"Unit price\" REAL)",
          "INSERT INTO orders VALUES (10, 1.5)", "INSERT INTO orders VALUES (20, 2.5)"})
      ASSERT_TRUE(q.exec(sql)) << q.lastError().text().toStdString();
    orders_ =
        &addDatasetDefinition(components_, "Orders=SELECT * FROM orders ORDER BY Amount", &db_);
    orders_->Init();
    orders_->First();
    dict_.FindDataset = [this](std::string_view name) { return components_.findDataset(name); };
    dict_.FieldAliases.setValue("Orders", Variant("Pedidos"));
    dict_.FieldAliases.setValue("Orders.Amount", Variant("Valor"));
    dict_.FieldAliases.setValue("Orders.\"Unit price\"", Variant("Pre\xE7o unit\xE1rio"));
  }
  void TearDown() override {
    components_.clear();
    closeDatabase(db_);
  }

  QSqlDatabase db_;
  TfrDataComponents components_;
  TfrDBDataSet* orders_ = nullptr;
  TfrDataDictionary dict_;
};

TEST_F(Dictionary, FieldReferencesGoThroughAliasesToTheCurrentRecord) {
  EXPECT_TRUE(dict_.IsVariable("Orders.\"Amount\""));
  EXPECT_TRUE(dict_.IsVariable("ORDERS.AMOUNT"));
  EXPECT_TRUE(dict_.IsVariable("Pedidos.\"Valor\""));
  EXPECT_TRUE(dict_.IsVariable("pedidos.\"pre\xC7o unit\xC1rio\""));
  EXPECT_TRUE(dict_.IsVariable("Orders.\"Unit price\""));
  EXPECT_FALSE(dict_.IsVariable("Orders.\"Nope\""));
  EXPECT_FALSE(dict_.IsVariable("Nowhere.Amount"));
  EXPECT_FALSE(dict_.IsVariable("Amount"));
  EXPECT_FALSE(dict_.IsVariable("Orders."));

  EXPECT_EQ(dict_.GetValue("Pedidos.\"Valor\""), Variant(10.0));
  EXPECT_EQ(dict_.GetValue("Pedidos.\"Pre\xE7o unit\xE1rio\""), Variant(1.5));
  orders_->Next();
  EXPECT_EQ(dict_.GetValue("Pedidos.\"Valor\""), Variant(20.0));
  // Asking for a value without asking IsVariable first works as well.
  EXPECT_EQ(dict_.GetValue("Orders.\"Unit price\""), Variant(2.5));
  EXPECT_TRUE(dict_.GetValue("Orders.Nope").isNull());
  // A point inside the quotes is part of the field name.
  EXPECT_FALSE(dict_.IsVariable("Orders.\"Amount.x\""));

  // A cached field whose data set was closed opens it again.
  orders_->GetDataSet().Close();
  EXPECT_EQ(dict_.GetValue("Orders.Amount"), Variant(10.0));
}

TEST_F(Dictionary, VariablesNameFieldsOrHoldExpressionsEvaluatedOnEachUse) {
  dict_.Variables.setValue(" Vendas", Variant(""));  // a category heading
  dict_.Variables.setValue("Total", Variant("Pedidos.\"Valor\""));
  dict_.Variables.setValue("Twice", Variant("[Total] * 2"));
  dict_.Variables.setValue("Blank", Variant(""));
  dict_.Variables.setValue("Shared", Variant("1 + 1"));
  int evaluations = 0;
  dict_.Evaluate = [&](const std::string& text) {
    ++evaluations;
    return Variant(text + " #" + std::to_string(evaluations));
  };
  dict_.ReportVariable = [](std::string_view name, Variant& v) {
    if (name != "Shared") return false;
    v = Variant(int64_t(99));
    return true;
  };

  EXPECT_TRUE(dict_.IsVariable("total"));
  EXPECT_EQ(dict_.GetValue("TOTAL"), Variant(10.0));
  orders_->Next();
  EXPECT_EQ(dict_.GetValue("Total"), Variant(20.0));

  EXPECT_TRUE(dict_.IsVariable("Twice"));
  EXPECT_EQ(dict_.GetValue("Twice"), Variant("[Total] * 2 #1"));
  EXPECT_EQ(dict_.GetValue("Twice"), Variant("[Total] * 2 #2"));
  EXPECT_EQ(dict_.GetValue("Blank"), Variant(""));
  EXPECT_EQ(dict_.GetValue("Shared"), Variant(int64_t(99)));
  EXPECT_EQ(evaluations, 2);

  EXPECT_FALSE(dict_.IsVariable(" Vendas"));
  EXPECT_FALSE(dict_.IsVariable("Unknown"));
  EXPECT_TRUE(dict_.GetValue("Unknown").isNull());

  // A new pass starts from the names, not from what the last one cached.
  dict_.ClearCache();
  dict_.Variables.setValue("Total", Variant("7"));
  EXPECT_EQ(dict_.GetValue("Total"), Variant("7 #3"));
}

// The run asks once for what IsVariable and GetValue answer together: the
// same answers, always of the record the cursor stands on now.
TEST_F(Dictionary, LookupAnswersAsAskingTwiceDoes) {
  dict_.Variables.setValue("Total", Variant("Pedidos.\"Valor\""));
  dict_.Variables.setValue("Shared", Variant("1 + 1"));
  dict_.Evaluate = [](const std::string& text) { return Variant(text + "!"); };
  Variant v(0);
  EXPECT_FALSE(dict_.Lookup("Orders.\"Nope\"", v));
  EXPECT_FALSE(dict_.Lookup("Unknown", v));
  EXPECT_EQ(v, Variant(0));               // untouched by names that are none
  for (int pass = 0; pass < 2; ++pass) {  // not cached yet, then cached
    orders_->First();
    ASSERT_TRUE(dict_.Lookup("pedidos.valor", v));
    EXPECT_EQ(v, Variant(10.0));
    ASSERT_TRUE(dict_.Lookup("TOTAL", v));
    EXPECT_EQ(v, Variant(10.0));
    orders_->Next();
    ASSERT_TRUE(dict_.Lookup("Orders.\"Unit price\"", v));
    EXPECT_EQ(v, Variant(2.5));
    ASSERT_TRUE(dict_.Lookup("Total", v));
    EXPECT_EQ(v, Variant(20.0));
    ASSERT_TRUE(dict_.Lookup("Shared", v));
    EXPECT_EQ(v, Variant("1 + 1!"));
  }
  // Past the last record the fields still read it.
  orders_->Next();
  ASSERT_TRUE(orders_->Eof());
  ASSERT_TRUE(dict_.Lookup("Orders.Amount", v));
  EXPECT_EQ(v, Variant(20.0));
  // Reopened, the data set stands on its first record again.
  orders_->GetDataSet().Close();
  ASSERT_TRUE(dict_.Lookup("Orders.Amount", v));
  EXPECT_EQ(v, Variant(10.0));
}

TEST_F(Dictionary, AFieldOfADataSetThatFailsIsAnErrorNotAnUnknownName) {
  TfrDBDataSet& broken = addDatasetDefinition(components_, "Broken=SELECT * FROM missing", &db_);
  (void)broken;
  try {
    dict_.IsVariable("Broken.\"x\"");
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_NE(std::string(e.what()).find("data set \"Broken\": no such table: missing"),
              std::string::npos)
        << e.what();
  }
  // Data sets without a database have no fields at all.
  components_.add(std::make_unique<TfrUserDataset>("Counted"));
  EXPECT_FALSE(dict_.IsVariable("Counted.x"));
}

}  // namespace
}  // namespace orv
