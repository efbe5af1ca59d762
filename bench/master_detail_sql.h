#pragma once
// The two queries of the master-detail benchmark report, shared by the run
// (prepare_bench) and the bare read of the same rows (dataset_bench), so that
// both read exactly the same rows in the same order.
//
// The orders by region and city; the items in the masters' order, so that
// the detail cursor only ever moves forward.
inline constexpr const char* kOrdersSelect =
    "SELECT id AS ID, customer AS CUSTOMER, region AS REGION, city AS CITY "
    "FROM orders ORDER BY region, city, id";
inline constexpr const char* kItemsSelect =
    "SELECT i.order_id AS ORDER_ID, i.line AS LINE, i.product AS PRODUCT, "
    "i.qty AS QTY, i.price AS PRICE FROM items i JOIN orders o ON o.id = i.order_id "
    "ORDER BY o.region, o.city, o.id, i.line";
