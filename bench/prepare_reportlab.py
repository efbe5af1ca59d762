#!/usr/bin/env python3
"""The peer of prepare_bench: ReportLab lays out the same master-detail rows
(orders grouped by region and city, each order with its items, order counts
and item totals in the group footers, page header and footer with the page
number)
into a PDF. Prints the figures as one JSON line.

    prepare_reportlab.py DB.sqlite OUT.pdf
"""
import json
import resource
import sqlite3
import sys
import time

from reportlab.lib.pagesizes import A4
from reportlab.lib.units import mm
from reportlab.platypus import Paragraph, SimpleDocTemplate, Table, TableStyle
from reportlab.lib.styles import getSampleStyleSheet

ORDERS = "SELECT id, customer, region, city FROM orders ORDER BY region, city, id"
ITEMS = ("SELECT i.order_id, i.line, i.product, i.qty, i.price FROM items i "
         "JOIN orders o ON o.id = i.order_id ORDER BY o.region, o.city, o.id, i.line")


def main():
    db, out = sys.argv[1], sys.argv[2]
    start = time.monotonic()
    con = sqlite3.connect(db)
    items = con.execute(ITEMS)
    pending = items.fetchone()
    styles = getSampleStyleSheet()
    region_style, city_style = styles["Heading3"], styles["Heading4"]
    body = styles["BodyText"]
    row_style = TableStyle([("FONTSIZE", (0, 0), (-1, -1), 9), ("TOPPADDING", (0, 0), (-1, -1), 0),
                            ("BOTTOMPADDING", (0, 0), (-1, -1), 1)])
    story = []
    region = city = None
    last = None
    # Orders and item totals of the open city and region.
    totals = {"city": [0, 0.0], "region": [0, 0.0]}

    def money(value):
        return ("%.2f" % value).replace(".", ",")

    def close_city():
        n, amount = totals["city"]
        story.append(Paragraph("Fim de %s: %d pedidos, %s em itens, último %d"
                               % (last[3], n, money(amount), last[0]), body))
        totals["city"] = [0, 0.0]

    def close_region():
        n, amount = totals["region"]
        story.append(Paragraph("Região %s: %d pedidos, %s em itens" % (last[2], n, money(amount)),
                               region_style))
        totals["region"] = [0, 0.0]

    for order in con.execute(ORDERS):
        oid, customer, reg, cit = order[0], order[1], order[2], order[3]
        if last is not None and (reg != region or cit != city):
            close_city()
            if reg != region:
                close_region()
        if reg != region:
            story.append(Paragraph("Região %s" % reg, region_style))
        if reg != region or cit != city:
            story.append(Paragraph("Cidade %s" % cit, city_style))
        region, city = reg, cit
        rows = [["Pedido %d" % oid, customer, "", ""]]
        for t in totals.values():
            t[0] += 1
        while pending is not None and pending[0] == oid:
            for t in totals.values():
                t[1] += pending[3] * pending[4]
            rows.append([str(pending[1]), pending[2], str(pending[3]),
                         ("%.2f" % pending[4]).replace(".", ",")])
            pending = items.fetchone()
        story.append(Table(rows, colWidths=[25 * mm, 70 * mm, 20 * mm, 30 * mm], style=row_style,
                           hAlign="LEFT"))
        last = order
    if last is not None:
        close_city()
        close_region()

    def page(canvas, doc):
        canvas.saveState()
        canvas.setFont("Helvetica", 9)
        canvas.drawString(20 * mm, A4[1] - 12 * mm,
                          "Pedidos por região e cidade - página %d" % doc.page)
        canvas.drawString(20 * mm, 10 * mm, "Página %d" % doc.page)
        canvas.restoreState()

    doc = SimpleDocTemplate(out, pagesize=A4, topMargin=18 * mm, bottomMargin=18 * mm)
    doc.build(story, onFirstPage=page, onLaterPages=page)
    seconds = time.monotonic() - start
    pages = doc.page
    print(json.dumps({"pages": pages, "seconds": round(seconds, 3),
                      "pages_per_second": round(pages / seconds, 1),
                      "peak_rss_MB": round(resource.getrusage(resource.RUSAGE_SELF).ru_maxrss / 1024, 1)}))


if __name__ == "__main__":
    main()
