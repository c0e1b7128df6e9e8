# Namespace and cluster information: list a directory, copy a file on the cluster, show versions.
ctl ls /ifs/data
ctl copy "/ifs/data/projects/plan.txt" "/ifs/data/projects/plan (copy).txt"
ctl ls /ifs/data/projects
ctl stat "/ifs/data/projects/plan (copy).txt"
ctl cluster ips
ctl cluster version
