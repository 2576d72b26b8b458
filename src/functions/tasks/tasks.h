// The warehouse task functions: works orders taken, assigned and looked up by an operator,
// the task information of an order, the stock movements waiting in a warehouse and the
// outstanding-tasks report. The database decides; several replies write result columns under
// other tag names ("works_order" as "wo_no", "movement" as "movement_type", "sales_order" as
// "so_no").
#pragma once

#include <string>

namespace talwen {

class Call;

std::string rf_assign_whse_task_manual(Call& call);
std::string rf_assign_works_order(Call& call);
std::string rf_get_wo(Call& call);
std::string rf_get_unfinished_works_order(Call& call);
std::string rf_get_stock_movements_task_info(Call& call);
std::string rf_query_stock_movements(Call& call);
std::string rf_rpt_os_tasks(Call& call);

}  // namespace talwen
